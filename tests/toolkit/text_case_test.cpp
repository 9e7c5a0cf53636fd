#include "toolkit/text_case.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <string>

using namespace velmora;

namespace {

// Python's case folding of every code point of the folded scripts, where it gives one code point
// (a folding to several, like ß to "ss", leaves the letter as it is here).
std::map<uint32_t, uint32_t> PythonFolds()
{
    const char* script = "/usr/bin/python3 -c \""
                         "ranges = [(0, 0x17F), (0x384, 0x3CE), (0x400, 0x45F), (0xFF01, 0xFF5E)]\n"
                         "for first, last in ranges:\n"
                         "    for c in range(first, last + 1):\n"
                         "        f = chr(c).casefold()\n"
                         "        print(c, ord(f) if len(f) == 1 else c)\n"
                         "\"";
    std::map<uint32_t, uint32_t> folds;
    if (FILE* pipe = ::popen(script, "r")) {
        unsigned c = 0, f = 0;
        while (std::fscanf(pipe, "%u %u", &c, &f) == 2)
            folds[c] = f;
        ::pclose(pipe);
    }
    return folds;
}

} // namespace

TEST(TextCase, FoldsAsPythonDoesOverTheFoldedScripts)
{
    const std::map<uint32_t, uint32_t> folds = PythonFolds();
    ASSERT_EQ(folds.size(), 649u);
    // The micro sign folds to Greek mu in Unicode; names never need that, and it is kept.
    for (const auto& [c, f] : folds)
        EXPECT_EQ(FoldCase(c), c == 0xB5 ? c : f) << std::hex << "U+" << c;
    // Outside them nothing folds: Armenian, Georgian, Latin Extended-B stay as they are.
    for (uint32_t c : { 0x180u, 0x1C4u, 0x531u, 0x10A0u, 0x1E00u, 0x3041u, 0x4E00u })
        EXPECT_EQ(FoldCase(c), c) << std::hex << "U+" << c;
}

TEST(TextCase, ComparesWholeCharactersIgnoringCase)
{
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        { "Doe^John", "DOE^JOHN", true },
        { "Doe^John", "DOE^JOHN ", false },
        { "M\xC3\xBCller^Hans", "M\xC3\x9CLLER^HANS", true }, // Müller, MÜLLER
        { "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91\xCE\xA3",
            "\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1\xCF\x82", true }, // ΣΟΦΙΑΣ, σοφιας (final sigma)
        { "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2",
            "\xD0\x98\xD0\x92\xD0\x90\xD0\x9D\xD0\x9E\xD0\x92", true }, // Иванов, ИВАНОВ
        { "\xC5\x81\xC3\xB3\x64\xC5\xBA", "\xC5\x82\xC3\x93\x44\xC5\xB9", true }, // Łódź, łÓDŹ
        { "\xE5\xB1\xB1\xE7\x94\xB0", "\xE5\xB1\xB1\xE7\x94\xB0", true }, // 山田
        { "\xE5\xB1\xB1\xE7\x94\xB0", "\xE5\xB1\xB1\xE7\x94\xB1", false },
        { "Stra\xC3\x9F"
          "e",
            "STRASSE", false }, // one letter never folds to two
        { "\xC3\xA9", "\xC3", false }, // a cut sequence is its bytes
        { "\xE9", "\xC9", false }, // bytes that are not UTF-8 compare exactly
        { "\xE9", "\xE9", true },
        { "", "", true },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualIgnoringCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(EqualIgnoringCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
    }
}
