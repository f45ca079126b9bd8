// The pieces of the HTTPS client that need no peer: JSON answers, form
// encoding and the PKCE digest.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/raises.h"
#include "web/https_client.h"
#include "web/json.h"
#include "web/sha256.h"

namespace quorvex {
namespace {

TEST(Json, TokenAnswers) {
  using TMembers = std::map<std::string, std::string>;
  struct TCase {
    const char* Text;
    TMembers Members;
    std::u16string Error;
  };
  const TCase cases[] = {
      {R"({"access_token":"at-1","expires_in":3599,"ext_expires_in":3599.5})",
       {{"access_token", "at-1"}, {"expires_in", "3599"}, {"ext_expires_in", "3599.5"}},
       u""},
      {R"( { "error" : "invalid_grant", "error_codes" : [70008, {"a": [1]}], "x": {} } )",
       {{"error", "invalid_grant"}},
       u""},
      {R"({"s":"a\"\\\/\n\u00e4\ud83d\ude00","t":true,"n":null,"e":-1e5})",
       {{"s", "a\"\\/\n\xC3\xA4\xF0\x9F\x98\x80"}, {"t", "true"}, {"n", "null"}, {"e", "-1e5"}},
       u""},
      {"{}", {}, u""},
      {R"({"access_token": "at-1", )", {}, u"not valid JSON: the text ends early"},
      {R"({"a":"b"} x)", {}, u"not valid JSON: text after the object"},
      {R"(["a"])", {}, u"not valid JSON: unexpected character"},
      {R"({"a":01x})", {}, u"not valid JSON: unexpected character"},
      {R"({"a":"\ud83d"})", {}, u"not valid JSON: lone surrogate"},
      {"{\"a\":\"line\nbreak\"}", {}, u"not valid JSON: control character in a string"},
      {R"({"a":1.})", {}, u"not valid JSON: bad number"},
      {"<html>502 Bad Gateway</html>", {}, u"not valid JSON: unexpected character"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    TMembers members;
    EXPECT_EQ(test::ErrorOf<EJsonError>([&] { members = parseJsonObject(c.Text); }), c.Error);
    EXPECT_EQ(members, c.Members);
  }
  // Nesting is bounded.
  EXPECT_EQ(test::ErrorOf<EJsonError>([] {
              parseJsonObject("{\"a\":" + std::string(100, '[') + std::string(100, ']') + "}");
            }),
            u"not valid JSON: nested too deeply");
}

TEST(Json, WrittenTextReadsBack) {
  const std::string awkward = "q\"b\\s/\n\r\t\x01\x1f\x7f \xC3\xA4\xF0\x9F\x98\x80";
  EXPECT_EQ(jsonString(awkward), R"("q\"b\\s/\n\r\t\u0001\u001f\u007f )"
                                 "\xC3\xA4\xF0\x9F\x98\x80\"");
  const std::string object = jsonObject({{"a", jsonString(awkward)},
                                         {"n", "1"},
                                         {"list", jsonArray({jsonString("x"), jsonObject({})})},
                                         {"empty", jsonArray({})}});
  EXPECT_EQ(object, R"({"a":)" + jsonString(awkward) + R"(,"n":1,"list":["x",{}],"empty":[]})");
  EXPECT_EQ(parseJsonObject(object),
            (std::map<std::string, std::string>{{"a", awkward}, {"n", "1"}}));
}

TEST(Form, EncodesAndDecodes) {
  EXPECT_EQ(formEncode({{"grant_type", "refresh_token"}, {"scope", "https://x.test/a b~"}}),
            "grant_type=refresh_token&scope=https%3A%2F%2Fx.test%2Fa%20b~");
  EXPECT_EQ(percentDecode("a+b%3D%3d%zz%4"), "a b==%zz%4");
}

TEST(Sha256, KnownDigests) {
  const auto hex = [](std::string_view text) {
    std::string out;
    for (auto b : sha256(text)) {
      static constexpr char kDigits[] = "0123456789abcdef";
      out += kDigits[b >> 4];
      out += kDigits[b & 15];
    }
    return out;
  };
  EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks, and the padding boundary at 55/56 bytes.
  EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(hex(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(hex(std::string(56, 'a')),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
}

}  // namespace
}  // namespace quorvex
