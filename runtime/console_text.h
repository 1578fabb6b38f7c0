// Console text in the character set of the locale.
//
// The system's captions are Chinese and defined as GBK bytes. They are
// written as UTF-8 when the current locale's character set
// (nl_langinfo(CODESET)) is UTF-8, and as the GBK bytes in every other
// locale: GBK and GB18030 ones, and C and POSIX, so that a program that never
// calls setlocale writes exactly the defined bytes.
#pragma once

namespace gf3mq {

// gbk in a locale other than a UTF-8 one, utf8 in a UTF-8 one.
const char* console_text(const char* gbk, const char* utf8);

}  // namespace gf3mq
