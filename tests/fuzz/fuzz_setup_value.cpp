// SplitSetupValue on arbitrary bytes. The fields must be exactly the first
// comma-free runs of the value's first kValueLimit characters, in order.
#include <string>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input = InputText(data, size);
    const zw::SetupItem item = zw::SplitSetupValue(input);
    const std::string_view used = input.substr(0, zw::kValueLimit);

    size_t pos = 0;  // where the text not yet given to a field starts
    bool ended = false;
    size_t total = 0;
    for (const auto field : zw::kSetupFields) {
        const std::string* const f = &(item.*field);
        FUZZ_CHECK(f->find(',') == std::string::npos);
        total += f->size();
        if (f->empty()) {
            // No empty field can be written, so a field that is empty means
            // the value has no text left: only commas, if anything.
            FUZZ_CHECK(used.find_first_not_of(',', pos) == std::string_view::npos);
            ended = true;
            continue;
        }
        FUZZ_CHECK(!ended);
        // Only commas between the previous field and this one, at least one
        // unless this is the first field.
        const size_t start = used.find_first_not_of(',', pos);
        FUZZ_CHECK(start != std::string_view::npos);
        FUZZ_CHECK(pos == 0 || start > pos);
        // The field is the whole run up to the next comma or the end.
        FUZZ_CHECK(used.substr(start, f->size()) == *f);
        const size_t end = start + f->size();
        FUZZ_CHECK(end == used.size() || used[end] == ',');
        pos = end;
    }
    FUZZ_CHECK(total <= used.size());
    // Anything longer than the limit is cut before splitting.
    if (input.size() > zw::kValueLimit) FUZZ_CHECK(SameFields(zw::SplitSetupValue(used), item));
    return 0;
}
