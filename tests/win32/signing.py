"""Authenticode signing as a patch author does it, for the tests: a
throwaway CA made with openssl, a code-signing certificate that it issued,
and osslsigncode to sign and check installers with them."""

import subprocess
from pathlib import Path

PUBLISHER = "Quillmarch Test Publisher"


def make_certificates(folder):
    """Writes ca.pem, signer.pem and signer.key into `folder`."""
    folder = Path(folder)
    (folder / "signing.ext").write_text(
        "keyUsage = digitalSignature\nextendedKeyUsage = codeSigning\n")
    commands = [
        ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
         "/O=Quillmarch/CN=Quillmarch Test CA", "-keyout", "ca.key", "-out", "ca.pem"],
        ["req", "-newkey", "rsa:2048", "-nodes", "-subj", "/O=Quillmarch/CN=" + PUBLISHER,
         "-keyout", "signer.key", "-out", "signer.csr"],
        ["x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
         "-CAcreateserial", "-days", "2", "-extfile", "signing.ext", "-out", "signer.pem"],
    ]
    for command in commands:
        result = subprocess.run(["openssl"] + command, cwd=folder, capture_output=True,
                                text=True, timeout=60)
        if result.returncode != 0:
            raise RuntimeError("openssl " + command[0] + ": " + result.stderr)


def osslsigncode(*arguments):
    return subprocess.run(["osslsigncode"] + [str(a) for a in arguments], capture_output=True,
                          text=True, timeout=120)


def sign(folder, source, target):
    """Signs `source` into `target` with the certificate in `folder`; the
    osslsigncode result."""
    folder = Path(folder)
    return osslsigncode("sign", "-certs", folder / "signer.pem", "-key", folder / "signer.key",
                        "-n", "Stormhaven patch", "-h", "sha256", "-in", source, "-out", target)


def verify(folder, path):
    """osslsigncode's check of `path` against the CA in `folder`."""
    return osslsigncode("verify", "-CAfile", Path(folder) / "ca.pem", "-in", path)
