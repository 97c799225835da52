// The files zembra-stream carries inside it, written into a source file by
// the build (cmake/ZembraEmbedText.cmake): the web page, its script and
// the recording skeleton its figures are drawn on.
#pragma once

#include <string_view>

namespace ZEMBRA {
namespace stream {
namespace built_in {

extern const std::string_view kPage;      // stream/web/index.html
extern const std::string_view kScript;    // stream/web/hands.js
extern const std::string_view kSkeleton;  // tool/record/bones.txt

}  // namespace built_in
}  // namespace stream
}  // namespace ZEMBRA
