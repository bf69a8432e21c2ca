// wizconv-cli branding: what an edition maker uses to write and read branding files.
#include <gtest/gtest.h>

#include "TestSupport.h"

using testsupport::ProgramPath;
using testsupport::ReadFile;
using testsupport::RunProcess;

TEST(BrandingCommand, EncodeThenDecodeGivesTheTextBack) {
  testsupport::TempDir dir;
  const std::string plain =
      "[SYSTEM]\r\nName=视频转换 Pro\r\nVersion=2.0\nDownload=True\r\n\r\nSkin=3\n";
  const auto source = dir.write("plain.txt", plain);
  const std::string encoded = (dir.path() / "dudozava.dll").string();
  auto enc =
      RunProcess({ProgramPath("wizconv-cli"), "branding", "encode", source.string(), encoded});
  ASSERT_EQ(enc.exitCode, 0) << enc.err;
  const std::string bytes = ReadFile(encoded);
  ASSERT_EQ(bytes.size(), plain.size());
  // Every byte but the line breaks is stored complemented.
  for (size_t i = 0; i < plain.size(); ++i) {
    const char expected =
        (plain[i] == '\n' || plain[i] == '\r') ? plain[i] : static_cast<char>(~plain[i]);
    ASSERT_EQ(bytes[i], expected) << "byte " << i;
  }
  auto dec = RunProcess({ProgramPath("wizconv-cli"), "branding", "decode", encoded});
  ASSERT_EQ(dec.exitCode, 0) << dec.err;
  EXPECT_EQ(dec.out, plain);
}

TEST(BrandingCommand, TheBuiltDefaultEditionDecodesToItsSource) {
  auto dec =
      RunProcess({ProgramPath("wizconv-cli"), "branding", "decode", ProgramPath("dudozava.dll")});
  ASSERT_EQ(dec.exitCode, 0) << dec.err;
  EXPECT_EQ(dec.out, ReadFile(testsupport::SourceDir() / "assets" / "branding.txt"));
}

TEST(BrandingCommand, BadInputFailsWithAClearMessageAndWritesNothing) {
  testsupport::TempDir dir;
  const std::string missing = (dir.path() / "nothing.txt").string();
  const std::string out = (dir.path() / "out.dll").string();
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string message;  // part of standard error
  };
  const auto unencodable = dir.write("bad.txt", "[SYSTEM]\nName=A\xF5Z\n").string();
  const Case cases[] = {
      {{"encode", missing, out},
       1,
       "Cannot open file \"" + missing + "\". No such file or directory"},
      {{"decode", missing}, 1, "Cannot open file \"" + missing + "\". No such file or directory"},
      {{"encode", unencodable, out}, 1, "0xF5"},
      {{"encode", unencodable, (dir.path() / "a-file.txt" / "x").string()}, 1, ""},
      {{"encode"}, 2, "usage"},
      {{"rot13", missing}, 2, "usage"},
  };
  dir.write("a-file.txt", "x");
  for (const Case& c : cases) {
    std::vector<std::string> argv = {ProgramPath("wizconv-cli"), "branding"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    auto r = RunProcess(argv);
    SCOPED_TRACE(c.args[0] + " -> " + r.err);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE(r.err.find(c.message), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}
