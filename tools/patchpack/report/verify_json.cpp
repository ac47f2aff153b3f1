#include "tools/patchpack/report/verify_json.h"

#include "tools/patchpack/report/json_text.h"
#include "tools/patchpack/report/listing_json.h"

namespace patchpack {
namespace {

void WriteList(std::ostream& out, const char* name, const std::vector<std::string>& items) {
  out << "  \"" << name << "\": [";
  const char* comma = "";
  for (const std::string& item : items) {
    out << comma << "\n    " << JsonString(item);
    comma = ",";
  }
  out << "]";
}

}  // namespace

void WriteVerifyJson(std::ostream& out, const VerifyReport& report) {
  out << "{\n  \"file\": " << JsonString(report.file)
      << ",\n  \"kind\": " << JsonString(report.kind)
      << ",\n  \"game\": " << JsonString(report.game) << ",\n";
  if (!report.signature.empty())
    out << "  \"signature\": " << JsonString(report.signature) << ",\n";
  WritePayloadMember(out, *report.payload);
  if (report.patch != nullptr) WritePatchMembers(out, *report.patch, report.staging);
  WriteList(out, "questions", report.questions);
  out << ",\n";
  if (report.error) {
    out << "  \"result\": \"install failed\",\n  \"error\": " << JsonString(*report.error) << ",\n";
    WriteList(out, "because", report.reasons);
    out << "\n}\n";
    return;
  }
  out << "  \"result\": " << (report.differences.empty() ? "\"ok\"" : "\"differs\"")
      << ",\n  \"installed\": " << JsonString(report.installed);
  if (report.expect) {
    out << ",\n  \"expect\": " << JsonString(*report.expect) << ",\n";
    WriteList(out, "differences", report.differences);
  }
  out << "\n}\n";
}

}  // namespace patchpack
