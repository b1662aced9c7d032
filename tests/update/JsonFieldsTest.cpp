#include "update/JsonFields.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonFields, Booleans) {
  const std::string answer = R"({"available":true,"version":"1.2.0"})";
  EXPECT_TRUE(JsonGetBool(answer, "available"));
  EXPECT_FALSE(JsonGetBool(R"({"available": true})", "available"));  // a blank after the colon
  EXPECT_FALSE(JsonGetBool(R"({"available":"true"})", "available"));
  EXPECT_TRUE(JsonGetBool(R"({"available":trueish})", "available"));
  EXPECT_FALSE(JsonGetBool(R"({"available":false})", "available"));
  EXPECT_FALSE(JsonGetBool(R"({"available":tru)", "available"));  // text ends first
  EXPECT_FALSE(JsonGetBool(R"({"other":true})", "available"));
}

TEST(JsonFields, Strings) {
  EXPECT_EQ(JsonGetString(R"({"available":true,"version":"1.2.0"})", "version"), "1.2.0");
  EXPECT_EQ(JsonGetString(R"({"version": "1.2.0"})", "version"), "");
  EXPECT_EQ(JsonGetString(R"({"version":120})", "version"), "");
  EXPECT_EQ(JsonGetString(R"({"data":{"version":"2.0.0"}})", "version"), "2.0.0");
  EXPECT_EQ(JsonGetString(R"({"version":"1","version":"2"})", "version"), "1");  // the first wins
  EXPECT_EQ(JsonGetString(R"({"min_version":"0.9","version":"1.2"})", "version"), "1.2");
  EXPECT_EQ(JsonGetString(R"({"version":"1.2)", "version"), "");
  EXPECT_EQ(JsonGetString(R"({"version":"1.2\)", "version"), "");  // the escape runs past the end
  EXPECT_EQ(JsonGetString(R"({"version":""})", "version"), "");
}

TEST(JsonFields, Escapes) {
  EXPECT_EQ(JsonGetString(R"({"changelog":"Fixes:\n- crash\n- \"freeze\""})", "changelog"),
            "Fixes:\n- crash\n- \"freeze\"");
  EXPECT_EQ(JsonGetString(R"({"changelog":"caf\u00e9"})", "changelog"), "caf\\u00e9");
  EXPECT_EQ(JsonGetString(R"({"c":"a\/b\\c\td\re\bf"})", "c"), "a/b\\c\td\re\\bf");
  EXPECT_EQ(JsonGetString("{\"c\":\"caf\xC3\xA9\"}", "c"), "caf\xC3\xA9");  // raw UTF-8 as it is
}

}  // namespace
