// Host.ReadText and Host.WriteText on real files.
#include <gtest/gtest.h>

#include <QFile>

#include "ScriptRecorder.h"
#include "TestSupport.h"
#include "script/HostTextFile.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

QString quoted(const std::filesystem::path& p) {
  return "'" + QString::fromStdString(p.string()) + "'";
}

std::string utf16le(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  return bytes;
}

TEST(HostText, ReadTextDecodesByTheFilesBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    QString expected;
  };
  const Case cases[] = {
      {"utf16 ascii", utf16le(u"url_encoded_fmt_stream_map"), "url_encoded_fmt_stream_map"},
      {"utf16 with mark", "\xFF\xFE" + utf16le(u"\u4E2D\u6587 ok"), QString::fromUtf8("中文 ok")},
      {"utf16 later non-ascii", utf16le(u"a\u00E9\u4E2D"), QString::fromUtf8("aé中")},
      {"utf8", "itag=18&url=http%3A%2F%2Fx", "itag=18&url=http%3A%2F%2Fx"},
      {"utf8 chinese", "标题", QString::fromUtf8("标题")},
      {"odd size", std::string("a\0b", 3), QString::fromUtf8("a\0b", 3)},
      {"single byte", "x", "x"},
      {"empty", "", ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const auto file = dir.write(std::string(c.name) + ".txt", c.bytes);
    ScriptRecorder r;
  r.host.Limits.AllFiles = true;
    r.host.Limits.AllFiles = true;
    r.run("Host.Echo(Host.ReadText(" + quoted(file) + "));");
    ASSERT_EQ(r.echoes.size(), 1) << c.name;
    EXPECT_EQ(r.echoes[0], c.expected) << c.name;
  }
}

TEST(HostText, ReadTextOfWhatCannotBeReadIsEmpty) {
  TempDir dir;
  const auto unreadable = dir.write("locked.txt", "secret");
  std::filesystem::permissions(unreadable, std::filesystem::perms::none);
  const bool permissionsHold =
      !QFile(QString::fromStdString(unreadable.string())).open(QIODevice::ReadOnly);
  const std::filesystem::path paths[] = {dir.path() / "missing.txt", dir.path(), "/dev/zero",
                                         unreadable};
  for (const auto& p : paths) {
    if (p == unreadable && !permissionsHold) continue;  // running as root
    ScriptRecorder r;
  r.host.Limits.AllFiles = true;
    r.host.Limits.AllFiles = true;
    r.run("Host.Echo('[' + Host.ReadText(" + quoted(p) + ") + ']');");
    EXPECT_EQ(r.echoes, QStringList({"[]"})) << p;
    EXPECT_TRUE(r.errors.empty()) << p;
  }
}

TEST(HostText, WriteTextReplacesTheFileAndAnEmptyTextLeavesItAlone) {
  TempDir dir;
  const auto file = dir.write("out.txt", "old contents that are longer");
  ScriptRecorder r;
  r.host.Limits.AllFiles = true;
  r.run("Host.WriteText(" + quoted(file) + ", '');");
  EXPECT_EQ(ReadFile(file), "old contents that are longer");
  r.run("Host.WriteText(" + quoted(file) + ");");  // wrong count: nothing at all
  EXPECT_EQ(ReadFile(file), "old contents that are longer");
  r.run("Host.WriteText(" + quoted(file) + ", 'new 中文');");
  EXPECT_EQ(ReadFile(file), "new 中文");
  r.run("Host.Echo(Host.readtext(" + quoted(file) + "));");
  EXPECT_EQ(r.echoes, QStringList({QString::fromUtf8("new 中文")}));
  r.run("Host.WriteText(" + quoted(dir.path() / "fresh.txt") + ", 12);");
  EXPECT_EQ(ReadFile(dir.path() / "fresh.txt"), "12");
  EXPECT_TRUE(r.errors.empty());
}

TEST(HostText, AWritableFileInAFolderThatTakesNoNewFilesIsWrittenInPlace) {
  TempDir dir;
  const auto folder = dir.path() / "locked-folder";
  std::filesystem::create_directory(folder);
  const auto file = dir.write("locked-folder/settings.txt", "old");
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  ScriptRecorder r;
  r.host.Limits.AllFiles = true;
  r.run("Host.WriteText(" + quoted(file) + ", 'new');");
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(ReadFile(file), "new");
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
}

TEST(HostText, AWriteThatFailsIsAScriptErrorAndKeepsTheOldFile) {
  TempDir dir;
  const auto folder = dir.path() / "readonly";
  std::filesystem::create_directory(folder);
  const auto file = dir.write("readonly/keep.txt", "precious");
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const bool permissionsHold =
      !QFile(QString::fromStdString((folder / "probe").string())).open(QIODevice::WriteOnly);
  const std::filesystem::path targets[] = {dir.path() / "no-such-folder" / "x.txt", file};
  for (const auto& target : targets) {
    if (target == file && !permissionsHold) continue;  // running as root
    ScriptRecorder r;
  r.host.Limits.AllFiles = true;
    r.host.Limits.AllFiles = true;
    r.run("Host.Echo('before');\nHost.WriteText(" + quoted(target) +
          ", 'text');\nHost.Echo('after');");
    ASSERT_EQ(r.errors.size(), 1u) << target;
    EXPECT_EQ(r.errors[0].Line, 1);
    EXPECT_TRUE(r.errors[0].Description.startsWith("Cannot write file")) << target;
    EXPECT_EQ(r.echoes, QStringList({"before"}));
  }
  EXPECT_EQ(ReadFile(file), "precious");
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
}

}  // namespace

namespace {

// What a script limited to one folder can reach, with "..", links and files not yet there.
TEST(HostText, AScriptLimitedToAFolderReachesNothingOutsideIt) {
  namespace fs = std::filesystem;
  TempDir dir;
  const fs::path allowed = dir.path() / "allowed";
  const fs::path outside = dir.path() / "outside";
  fs::create_directories(allowed / "sub");
  fs::create_directories(outside);
  dir.write("allowed/in.txt", "inside");
  dir.write("outside/secret.txt", "secret");
  fs::create_symlink(outside / "secret.txt", allowed / "link-out.txt");
  fs::create_symlink(outside, allowed / "dir-out");
  fs::create_symlink(outside / "made-by-link.txt", allowed / "dangling.txt");
  fs::create_symlink(allowed / "in.txt", allowed / "link-in.txt");
  fs::create_symlink(allowed, dir.path() / "allowed-link");

  struct Case {
    fs::path path;
    bool reachable;
  };
  const Case cases[] = {
      {allowed / "in.txt", true},
      {allowed / "sub" / ".." / "in.txt", true},
      {allowed / "link-in.txt", true},
      {dir.path() / "allowed-link" / "in.txt", true},  // the folder's own other name
      {allowed / "new.txt", true},
      {allowed / "sub" / ".." / "sub" / "new.txt", true},
      {allowed / ".." / "outside" / "secret.txt", false},
      {allowed / "link-out.txt", false},
      {allowed / "dir-out" / "secret.txt", false},
      {allowed / "dir-out" / "new.txt", false},
      {allowed / ".." / "outside" / "new.txt", false},
      {allowed / "dangling.txt", false},
      {dir.path() / "allowed-sibling.txt", false},  // a name that only starts like the folder
      {"/etc/passwd", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    for (const QString& folder :
         {QString::fromStdString(allowed.string()), QString::fromStdString(allowed.string() + "/"),
          QString::fromStdString((dir.path() / "allowed-link").string())}) {
      ScriptRecorder r;
      r.host.Limits.FileFolders = {folder};
      r.run("Host.Echo('[' + Host.ReadText(" + quoted(c.path) + ") + ']');\nHost.Echo('read');");
      if (c.reachable) {
        EXPECT_TRUE(r.errors.empty()) << r.errors[0].Description.toStdString();
        EXPECT_EQ(r.echoes.value(1), "read");
      } else {
        ASSERT_EQ(r.errors.size(), 1u);
        EXPECT_TRUE(r.errors[0].Description.contains("out of reach")) << r.errors[0].Description.toStdString();
        EXPECT_TRUE(r.echoes.isEmpty()) << r.echoes.join('|').toStdString();
      }
    }
    const bool existed = fs::exists(fs::symlink_status(c.path));
    const std::string before = existed && fs::exists(c.path) ? ReadFile(c.path) : "";
    ScriptRecorder w;
    w.host.Limits.FileFolders = {QString::fromStdString(allowed.string())};
    w.run("Host.WriteText(" + quoted(c.path) + ", 'written');");
    if (c.reachable) {
      EXPECT_TRUE(w.errors.empty());
      EXPECT_EQ(ReadFile(c.path), "written");
    } else {
      EXPECT_EQ(w.errors.size(), 1u);
      if (fs::exists(c.path)) {
        EXPECT_EQ(ReadFile(c.path), before);
      }
    }
  }
  EXPECT_EQ(ReadFile(outside / "secret.txt"), "secret");
  EXPECT_FALSE(fs::exists(outside / "made-by-link.txt"));
  EXPECT_FALSE(fs::exists(outside / "new.txt"));
  EXPECT_TRUE(fs::is_symlink(allowed / "link-in.txt"));  // written through, not replaced
}

TEST(HostText, AHostThatWasToldNothingUsesNoFileAtAll) {
  TempDir dir;
  const auto file = dir.write("kept.txt", "kept");
  ScriptRecorder r;  // a new host: no folders given
  for (const QString& call : {"Host.ReadText(" + quoted(file) + ")",
                              "Host.WriteText(" + quoted(file) + ", 'x')",
                              "Host.WriteText(" + quoted(dir.path() / "new.txt") + ", 'x')",
                              QString("Host.ReadText('')")}) {
    r.run("try { " + call + "; Host.Echo('reached'); } catch (e) { Host.Echo(e.message); }");
    ASSERT_EQ(r.echoes.size(), 1) << call.toStdString();
    EXPECT_TRUE(r.echoes[0].contains("may not use files")) << r.echoes[0].toStdString();
  }
  EXPECT_EQ(ReadFile(file), "kept");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "new.txt"));
}

}  // namespace
