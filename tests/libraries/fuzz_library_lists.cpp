// Arbitrary bytes as the four library list replies and the pushed-page reply: the records read
// never exceed the bytes given, every row is plain UTF-8 text without line breaks, and the local
// names made from the records stay inside their folder.
#include <cstdlib>
#include <filesystem>

#include "libraries/library_records.h"
#include "libraries/local_files.h"
#include "protocol/message_kinds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> body(data, size);
    for (uint16_t kind : {vkDocumentList, vkBoardImageList, vkWebLinkList, vkPresentationList}) {
        std::vector<TResourceInfo> records;
        if (!orb::ParseResourceList(kind, body, records)) continue;
        if (records.size() * TResourceInfo::kSize > size) std::abort();
        for (const TResourceInfo& r : records) {
            for (const std::string& column : orb::ResourceRow(kind, r).columns)
                for (char c : column)
                    if (c == '\n' || c == '\r') std::abort();
            const std::filesystem::path p = orb::UniqueLocalPath("/nonexistent-orb-folder", r.fileName, r.extension);
            if (!p.empty() && p.parent_path() != "/nonexistent-orb-folder") std::abort();
            (void)orb::IsAllowedPageAddress(r.fileName);
        }
    }
    return 0;
}
