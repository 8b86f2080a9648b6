#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velmora
