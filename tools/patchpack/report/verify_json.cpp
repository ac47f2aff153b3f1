#include "tools/patchpack/report/verify_json.h"

#include "tools/patchpack/report/json_writer.h"
#include "tools/patchpack/report/listing_json.h"

namespace patchpack {

void WriteVerifyJson(std::ostream& out, const VerifyReport& report) {
  JsonWriter json(out);
  json.BeginObject()
      .Member("file", report.file)
      .Member("kind", report.kind)
      .Member("game", report.game);
  if (!report.signature.empty()) json.Member("signature", report.signature);
  WritePayloadMember(json, *report.payload);
  if (report.patch != nullptr) WritePatchMembers(json, *report.patch, report.staging);
  json.Member("questions", report.questions);
  if (report.error) {
    json.Member("result", "install failed").Member("error", *report.error);
    json.Member("because", report.reasons);
  } else {
    json.Member("result", report.differences.empty() ? "ok" : "differs")
        .Member("installed", report.installed);
    if (report.expect)
      json.Member("expect", *report.expect).Member("differences", report.differences);
  }
  json.EndObject();
}

}  // namespace patchpack
