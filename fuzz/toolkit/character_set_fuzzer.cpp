// Fuzzes DecodeText. The first byte picks the VR and the (0008,0005) values from a list that
// covers every kind of character set; the rest is the value. The result must be valid UTF-8.
#include "toolkit/character_set.h"
#include "toolkit/vr_code.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iconv.h>
#include <string>
#include <vector>

namespace {

using namespace velmora;

const std::vector<std::string> kSetChoices[] = {
    {},
    { "ISO_IR 100" },
    { "ISO_IR 127" },
    { "ISO_IR 13" },
    { "ISO_IR 192" },
    { "GB18030" },
    { "GBK" },
    { "", "ISO 2022 IR 87", "ISO 2022 IR 159" },
    { "ISO 2022 IR 13", "ISO 2022 IR 87" },
    { "", "ISO 2022 IR 149" },
    { "ISO 2022 IR 100", "ISO 2022 IR 126", "ISO 2022 IR 58" },
    { "nonsense" },
};
const uint16_t kVrChoices[] = { vr::PN, vr::LO, vr::LT, vr::CS };

bool IsValidUtf8(const std::string& text)
{
    iconv_t cd = iconv_open("UTF-8", "UTF-8");
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    std::string out(text.size() + 16, '\0');
    char* to = out.data();
    size_t toLeft = out.size();
    const bool valid = iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    return valid;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto& sets = kSetChoices[data[0] % std::size(kSetChoices)];
    const uint16_t vr = kVrChoices[(data[0] / std::size(kSetChoices)) % std::size(kVrChoices)];
    const std::string text
        = DecodeText(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), vr, sets);
    if (!IsValidUtf8(text))
        std::abort();
    return 0;
}
