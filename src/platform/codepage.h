#pragma once
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// Code page numbers as Windows names them. 42 is the symbol page: Windows-1252
// except the few Wingdings marks the reports use, which map to their Unicode
// look-alikes so that a font which has them can draw them.
inline constexpr int kCodePageSymbol = 42;

// The code page of an 8-bit font character set. Character sets without a
// single-byte code page of their own (Far-East double-byte sets, Mac, OEM
// variants other than 255) fall back to Windows-1252, the program's own page.
int codePageForCharset(uint8_t charset);

// The code page a font uses for its bytes: Wingdings always uses the symbol
// page, whatever character set it was selected with; other faces follow the
// character set.
int codePageForFont(std::string_view face, uint8_t charset);

// One byte to one UTF-16 unit. Bytes below 0x80 are ASCII in every page.
// Undefined bytes 0x80-0x9F become the C1 control of the same value, undefined
// bytes above become U+F700 + byte, so that decoding and encoding round-trip.
char16_t byteToUnicode(uint8_t byte, int codePage);
QString decodeBytes(std::string_view bytes, int codePage);
// Unicode to 8-bit; characters the page cannot hold become '?'.
std::string encodeText(QStringView text, int codePage);

// Case mapping within one code page, from Unicode's: each byte goes to the
// byte of its upper- or lower-case partner when the page holds that partner,
// else stays (in 1252, y-diaeresis pairs with 0x9F; sharp s and the micro
// sign, whose partners lie outside the page, stay). The search compares and
// the report functions change case through these tables alike.
const std::array<uint8_t, 256>& upperCaseTable(int codePage);
const std::array<uint8_t, 256>& lowerCaseTable(int codePage);
std::string upperCaseText(std::string_view text, int codePage);
std::string lowerCaseText(std::string_view text, int codePage);

}  // namespace orv
