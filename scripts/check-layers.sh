#!/bin/sh
# Fails when a file includes a folder above its own: each folder may include
# only itself and the folders listed for it here, which lie below it.
set -eu
cd "$(dirname "$0")/.."

status=0
check() {
  folder=$1
  allowed=$2
  found=$(grep -rhoE '#include "[^/"]+/' "$folder" --include='*.cpp' --include='*.h' |
    sed 's/#include "//; s#/$##' | sort -u | grep -vxE "$allowed" || true)
  for higher in $found; do
    echo "$folder/ includes $higher/:" >&2
    grep -rnE "#include \"$higher/" "$folder" --include='*.cpp' --include='*.h' >&2
    status=1
  done
}

check base 'base'
check payload 'base|payload'
check messages 'base|messages'
check bundle 'base|bundle'
check engine 'base|payload|messages|engine'
check shell 'base|payload|messages|bundle|engine|shell'
check tools 'base|payload|messages|bundle|engine|tools'
exit $status
