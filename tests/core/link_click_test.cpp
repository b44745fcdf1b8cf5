// A click on a link: what opens at once, what is asked about first, what cannot be opened.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/editor/link_click.h"
#include "support/temp_dir.h"

namespace zorbek::editor {
namespace {

using Action = LinkClick::Action;
using Reason = LinkClick::Reason;

class LinkClickTest : public ::testing::Test {
 protected:
  std::string Store() const { return dir_ / "Zorbek/FileStore"; }
  LinkClick Click(std::string_view text) const { return DecideLinkClick(text, Store()); }
  testing::TempDir dir_;
};

TEST_F(LinkClickTest, WebFtpAndPlainMailOpenAtOnce) {
  for (const char* text : {"http://example.com/a?b=c", "HTTPS://Example.com", "ftp://files.example.com/x",
                           "mailto:li@example.com", "mailto:li@example.com?subject=周报&body=hi&cc=a@b.c",
                           "  https://example.com/padded  "}) {
    const LinkClick c = Click(text);
    EXPECT_EQ(c.action, Action::Open) << text;
    EXPECT_EQ(c.target.kind, LinkTarget::Kind::Address) << text;
  }
  const LinkClick www = Click("www.example.com/wiki");
  EXPECT_EQ(www.action, Action::Open);
  EXPECT_EQ(www.target.target, "http://www.example.com/wiki");
}

TEST_F(LinkClickTest, MailWithAttachmentsAndOtherSchemesAskShowingTheWholeTarget) {
  for (const char* text : {"mailto:?attach=/etc/passwd", "mailto:li@example.com?subject=x&Attachment=~/.ssh/id_rsa",
                           "mailto:li@example.com?%61ttach=/etc/shadow", "mailto:a@b.c?body=x;attach=/x"}) {
    const LinkClick c = Click(text);
    EXPECT_EQ(c.action, Action::Ask) << text;
    EXPECT_EQ(c.reason, Reason::MailExtras) << text;
    EXPECT_NE(c.Question().find(text), std::string::npos) << c.Question();
  }
  for (const char* text : {"ssh://root@example.com", "javascript:alert(1)", "smb://server/share",
                           "file://server/share/a.pdf", "vnd.some-app+x:do?thing"}) {
    const LinkClick c = Click(text);
    EXPECT_EQ(c.action, Action::Ask) << text;
    EXPECT_EQ(c.reason, Reason::OtherScheme) << text;
    EXPECT_EQ(c.target.target, text);
    EXPECT_NE(c.Question().find(text), std::string::npos);
  }
}

TEST_F(LinkClickTest, ATargetLikeAnOptionIsNeverHandedOn) {
  // No scheme and no file: nothing to open, and nothing that reaches the opener.
  for (const char* text : {"--help", "-x", " --version", "plan.txt", "", "C:\\docs\\a.pdf"}) {
    const LinkClick c = Click(text);
    EXPECT_EQ(c.action, Action::CannotOpen) << text;
  }
  // A file of that name in the store is opened by its absolute path.
  testing::WriteFile(Store() + "/--help", "notes");
  const LinkClick c = Click("localfile:--help");
  EXPECT_EQ(c.action, Action::Open);
  EXPECT_EQ(c.target.target, std::filesystem::canonical(Store() + "/--help").string());
  EXPECT_EQ(c.target.target.front(), '/');
}

TEST_F(LinkClickTest, DocumentsInTheFileStoreOpenAtOnce) {
  testing::WriteFile(Store() + "/计划.pdf", "%PDF-1.4 ...");
  testing::WriteFile(Store() + "/sub/notes.txt", "plain text");
  std::filesystem::create_directories(Store() + "/folder");
  for (const char* text : {"localfile:计划.pdf", "LocalFile:sub\\notes.txt", "localfile:folder"}) {
    const LinkClick c = Click(text);
    EXPECT_EQ(c.action, Action::Open) << text;
    EXPECT_EQ(c.target.kind, LinkTarget::Kind::File);
  }
  const std::string absolute = Store() + "/计划.pdf";
  EXPECT_EQ(Click("localfile:" + absolute).action, Action::Open);
  EXPECT_EQ(Click("file://" + absolute).action, Action::Open);
  EXPECT_EQ(Click("file://localhost" + Store() + "/%E8%AE%A1%E5%88%92.pdf").action, Action::Open);
  // A missing file cannot be opened: it is said so, nothing is asked.
  const LinkClick gone = Click("localfile:gone.pdf");
  EXPECT_EQ(gone.action, Action::CannotOpen);
  EXPECT_EQ(gone.reason, Reason::NoSuchFile);
  EXPECT_NE(gone.CannotOpenMessage().find(Store() + "/gone.pdf"), std::string::npos);
}

TEST_F(LinkClickTest, ProgramsScriptsAndLaunchersAskEvenInTheFileStore) {
  testing::WriteFile(Store() + "/run.desktop", "[Desktop Entry]\nType=Application\nExec=sh -c x\n");
  testing::WriteFile(Store() + "/setup.sh", "echo hi\n");
  testing::WriteFile(Store() + "/readme.txt", "#!/bin/sh\nrm -rf ~\n");  // a script by its content
  testing::WriteFile(Store() + "/launcher", "\n# comment\n[Desktop Entry]\nExec=x\n");
  testing::WriteFile(Store() + "/program", "\x7f" "ELF\x02\x01\x01");
  testing::WriteFile(Store() + "/tool.EXE", "MZ\x90");
  testing::WriteFile(Store() + "/mode.txt", "just text");
  ASSERT_EQ(::chmod((Store() + "/mode.txt").c_str(), 0755), 0);
  for (const char* name : {"run.desktop", "setup.sh", "readme.txt", "launcher", "program", "tool.EXE",
                           "mode.txt"}) {
    const LinkClick c = Click(std::string("localfile:") + name);
    EXPECT_EQ(c.action, Action::Ask) << name;
    EXPECT_EQ(c.reason, Reason::Program) << name;
    EXPECT_NE(c.Question().find(Store() + "/" + name), std::string::npos) << c.Question();
  }
  // A script given as a file address asks too.
  testing::WriteFile(dir_ / "elsewhere/x.sh", "echo\n");
  EXPECT_EQ(Click("file://" + (dir_ / "elsewhere/x.sh")).reason, Reason::Program);
}

TEST_F(LinkClickTest, FilesOutsideTheStoreAskWithTheResolvedPath) {
  testing::WriteFile(dir_ / "private/diary.txt", "secret");
  testing::WriteFile(Store() + "/ok.txt", "x");
  // Out of the store by "..": the question names the file that would open.
  const LinkClick up = Click("localfile:../../private/diary.txt");
  EXPECT_EQ(up.action, Action::Ask);
  EXPECT_EQ(up.reason, Reason::OutsideFileStore);
  const std::string real = std::filesystem::canonical(dir_ / "private/diary.txt").string();
  EXPECT_EQ(up.target.target, real);
  EXPECT_NE(up.Question().find(real), std::string::npos);
  // An absolute path elsewhere, and a link in the store that points out of it.
  EXPECT_EQ(Click("localfile:" + (dir_ / "private/diary.txt")).reason, Reason::OutsideFileStore);
  ASSERT_EQ(::symlink((dir_ / "private/diary.txt").c_str(), (Store() + "/link.txt").c_str()), 0);
  const LinkClick link = Click("localfile:link.txt");
  EXPECT_EQ(link.reason, Reason::OutsideFileStore);
  EXPECT_EQ(link.target.target, real);
  // A directory that only starts like the store is not in it.
  testing::WriteFile(dir_ / "Zorbek/FileStore-other/a.txt", "x");
  EXPECT_EQ(Click("localfile:" + (dir_ / "Zorbek/FileStore-other/a.txt")).reason,
            Reason::OutsideFileStore);
  // A link in the store with a document's name that points to a script there: the script's
  // name decides, and the script is what would be opened.
  testing::WriteFile(Store() + "/go.sh", "echo\n");
  ASSERT_EQ(::symlink((Store() + "/go.sh").c_str(), (Store() + "/harmless.pdf").c_str()), 0);
  const LinkClick disguised = Click("localfile:harmless.pdf");
  EXPECT_EQ(disguised.reason, Reason::Program);
  EXPECT_EQ(disguised.target.target, std::filesystem::canonical(Store() + "/go.sh").string());
  EXPECT_EQ(Click("localfile:ok.txt").action, Action::Open);
}

}  // namespace
}  // namespace zorbek::editor
