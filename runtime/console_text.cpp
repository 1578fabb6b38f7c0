#include "runtime/console_text.h"

#include <langinfo.h>

#include <cctype>
#include <string>

namespace gf3mq {

namespace {

// "UTF-8", "utf8", "UTF8" all name it.
bool is_utf8(const char* codeset) {
  std::string name;
  for (const char* c = codeset; c != nullptr && *c != '\0'; ++c)
    if (*c != '-' && *c != '_') name += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  return name == "UTF8";
}

}  // namespace

const char* console_text(const char* gbk, const char* utf8) { return is_utf8(nl_langinfo(CODESET)) ? utf8 : gbk; }

}  // namespace gf3mq
