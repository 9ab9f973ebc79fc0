// Names as their files write them, decoded by the character set each declares.
#include <gtest/gtest.h>

#include "dicom/CharacterSetText.h"

TEST(CharacterSetText, NamesInTheSetsTheirFilesDeclare) {
    // Japanese with code extensions: ASCII, then JIS X 0208 kanji and hiragana.
    EXPECT_EQ(TextInUtf8("Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B=\x1b$B$d$^$@\x1b(B^\x1b$B$?$m$&\x1b(B",
                         "\\ISO 2022 IR 87"),
              "Yamada^Tarou=山田^太郎=やまだ^たろう");
    // Korean: KS X 1001 in G1, designated again after each delimiter.
    EXPECT_EQ(TextInUtf8("Hong^Gildong=\x1b$)C\xfb\xf3^\x1b$)C\xd1\xce\xd4\xd7=\x1b$)C\xc8\xab^\x1b$)C\xb1\xe6\xb5\xbf",
                         "\\ISO 2022 IR 149"),
              "Hong^Gildong=洪^吉洞=홍^길동");
    // Half-width katakana as the first set, kanji after an escape.
    EXPECT_EQ(TextInUtf8("\xd4\xcf\xc0\xde^\xc0\xdb\xb3=\x1b$B;3ED\x1b(J^\x1b$BB@O:\x1b(J",
                         "ISO 2022 IR 13\\ISO 2022 IR 87"),
              "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎");
    EXPECT_EQ(TextInUtf8("M\xfcller^J\xf6rg", "ISO_IR 100"), "Müller^Jörg");
    EXPECT_EQ(TextInUtf8("M\xc3\xbcller", "ISO_IR 192"), "Müller");
    EXPECT_EQ(TextInUtf8("\xbb\xee\xda\xe1\xd5\xdc\xd1\xe3\xe0\xd3", "ISO_IR 144"), "Люксембург");
    EXPECT_EQ(TextInUtf8("Wang^XiaoDong=\xcd\xf5^\xd0\xa1\xb6\xab", "GB18030"), "Wang^XiaoDong=王^小东");
    EXPECT_EQ(TextInUtf8("Smith^John", "ISO 2022 IR 87"), "Smith^John");
}

TEST(CharacterSetText, BytesThatDoNotDecodeStillShow) {
    // No set declared: UTF-8 when valid, Windows-1252 otherwise.
    EXPECT_EQ(TextInUtf8("M\xc3\xbcller", ""), "Müller");
    EXPECT_EQ(TextInUtf8("M\xfcller \x80", ""), "Müller €");
    // Declared UTF-8 that is not, an escape no set answers to, a kanji cut in half, a
    // set the program does not know: the bytes are kept readable, never dropped.
    EXPECT_EQ(TextInUtf8("M\xfcller", "ISO_IR 192"), "Müller");
    EXPECT_EQ(TextInUtf8("A\x1b%GB\xfc", "\\ISO 2022 IR 87"), "A\x1b%GBü");
    EXPECT_EQ(TextInUtf8("\x1b$B;", "\\ISO 2022 IR 87"), "\x1b$B;");
    EXPECT_EQ(TextInUtf8("\xe9t\xe9", "ISO_IR 999"), "été");
    EXPECT_EQ(TextInUtf8("\xa4\x80", "\\ISO 2022 IR 149"), "¤€");
}
