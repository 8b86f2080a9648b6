#include <gtest/gtest.h>

#include <string>

#include "base/Errors.h"

namespace velmora {
namespace {

// The message must say where the fault is, in the order a user reads it.
TEST(ErrorWhat, NamesFileLineAndField) {
  EXPECT_EQ((Error{"cell07.par", 24, "field 12", "\"0,05\" is not a number"}.What()),
            "cell07.par: line 24, field 12: \"0,05\" is not a number");
  EXPECT_EQ((Error{"a.dat", 0, "", "cannot open"}.What()), "a.dat: cannot open");
  EXPECT_EQ((Error{"a.dat", 0, "column 3", "bad"}.What()), "a.dat: column 3: bad");
}

// A damaged file's token may be a megabyte long or hold terminal escape
// sequences: a message quotes 60 characters of it, printable.
TEST(Quoted, CutsLongTokensAndEscapesControlCharacters) {
  EXPECT_EQ(Quoted("0,05"), "\"0,05\"");
  EXPECT_EQ(Quoted(std::string(500, 'x')), "\"" + std::string(60, 'x') + "...\" (500 bytes)");
  EXPECT_EQ(Quoted("a\x1b]0;owned\x07z"), "\"a\\x1b]0;owned\\x07z\"");
  // Cut before, not inside, a two-byte character.
  EXPECT_EQ(Quoted(std::string(59, 'x') + "\xc3\xa9" + "yy"), "\"" + std::string(59, 'x') + "...\" (63 bytes)");
  EXPECT_EQ(Printable("\xc2\x9b" "2J"), "\\x9b2J");  // the one-character CSI
}

TEST(ErrorWhat, EscapesControlCharactersInNamesToo) {
  EXPECT_EQ((Error{"cell\x1b[2J.par", 3, "", "bad"}.What()), "cell\\x1b[2J.par: line 3: bad");
}

}  // namespace
}  // namespace velmora
