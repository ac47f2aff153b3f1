# Writes a C++ source that defines messages::ShippedMessageTable() over the
# bytes of INPUT. Run as: cmake -DINPUT=file -DOUTPUT=file.cpp -P embed_bytes.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
if(digits EQUAL 0)
  message(FATAL_ERROR "${INPUT} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    "
       bytes "${bytes}")
file(WRITE "${OUTPUT}.new" "// Generated from ${INPUT} at build time.
#include \"messages/shipped_messages.h\"

namespace messages {
namespace {

constexpr std::uint8_t kTable[] = {
    ${bytes}
};

}  // namespace

std::span<const std::uint8_t> ShippedMessageTable() {
  return std::span<const std::uint8_t>(kTable);
}

}  // namespace messages
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
