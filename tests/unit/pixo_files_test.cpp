#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <cstring>
#include <fstream>
#include <string>

#include "pixo/base/errors.h"
#include "pixo/base/file_names.h"
#include "pixo/base/stream.h"
#include "tests/support/engine_pipe.h"

using namespace pixo;
namespace fs = std::filesystem;

TEST(DeviceNames, ReservedNamesWithAnyExtensionBlanksOrDots) {
  for (const wchar_t* name :
       {L"aux.jpg",       L"com1.png",    L"com1 .bmp",      L"COM1",         L"NUL",     L"lpt1.gif",  L"nul.",
        L"Con",           L"prn.txt.bak", L"C:\\shots\\con", L"dir/Prn.png",  L"C:aux",   L"com9.bmp",  L"LPT9",
        L"com\u00b9.png", L"lpt\u00b3",   L"com1:",          L"nul  .. .png", L"CONOUT$", L"conin$.bmp"}) {
    EXPECT_TRUE(IsDeviceName(name)) << ToUtf8(name);
  }
}

TEST(DeviceNames, DeviceNamespaceButNotLongFilePaths) {
  EXPECT_TRUE(IsDeviceName(L"\\\\.\\COM3"));
  EXPECT_TRUE(IsDeviceName(L"\\\\.\\pipe\\shots"));
  EXPECT_TRUE(IsDeviceName(L"//./PhysicalDrive0"));
  EXPECT_TRUE(IsDeviceName(L"\\\\?\\GLOBALROOT\\Device\\Null"));
  EXPECT_FALSE(IsDeviceName(L"\\\\?\\C:\\shots\\a.png"));
  EXPECT_FALSE(IsDeviceName(L"\\\\?\\UNC\\server\\share\\a.png"));
  EXPECT_FALSE(IsDeviceName(L"\\\\server\\share\\a.png"));
}

TEST(DeviceNames, OrdinaryFilesThatLookAlike) {
  for (const wchar_t* name : {L"com10.png", L"comp.bmp", L"con1.bmp", L"console.png", L"auxiliary.png", L"com0.bmp",
                              L"lpt.gif", L"shot.bmp", L"nul\\shot.bmp", L"dir.con\\a.bmp", L"a con.bmp", L"x.nul"}) {
    EXPECT_FALSE(IsDeviceName(name)) << ToUtf8(name);
  }
}

TEST(TemporaryNames, SameFolderShortAndDistinct) {
  EXPECT_EQ(FolderOf(L"a.bmp"), L"");
  EXPECT_EQ(FolderOf(L"C:a.bmp"), L"C:");
  EXPECT_EQ(FolderOf(L"C:\\x\\a.bmp"), L"C:\\x\\");
  EXPECT_EQ(FolderOf(L"dir/a.bmp"), L"dir/");
  EXPECT_EQ(FolderOf(L"\\\\srv\\share\\a.bmp"), L"\\\\srv\\share\\");
  const std::wstring longName = L"C:\\x\\" + std::wstring(250, L'n') + L".bmp";
  const std::wstring t = TemporaryNameFor(longName, 0x1234, 7);
  EXPECT_EQ(t, L"C:\\x\\~px00001234-0007.tmp");
  EXPECT_NE(TemporaryNameFor(longName, 0x1234, 8), t);
  EXPECT_NE(TemporaryNameFor(longName, 0x1235, 7), t);
}

TEST(NamePatterns, EveryFieldNumberedNamesAndSafeTitles) {
  const NameFields f{2026, 3, 7, 9, 5, 4, 42, 12, 1920, 1080, L" a/b:c*d?e\"f<g>h|i\\j\tk. "};
  std::wstring name;
  ASSERT_TRUE(ExpandNamePattern(L"C:\\shots\\%Y-%m-%d_%H%M%S.%f_%n_%wx%h_%t_100%%.png", f, name));
  EXPECT_EQ(name, L"C:\\shots\\2026-03-07_090504.042_012_1920x1080_a_b_c_d_e_f_g_h_i_j_k_100%.png");
  for (const wchar_t* bad : {L"x%", L"%q.png", L"%Z"}) EXPECT_FALSE(ExpandNamePattern(bad, f, name)) << ToUtf8(bad);
  EXPECT_EQ(SafeForFileName(L" .. "), L"_");
  EXPECT_EQ(SafeForFileName(std::wstring(100, L'x')).size(), 64u);
  // A long title is cut between whole characters: not inside a surrogate pair, not in
  // front of a combining mark, not after a joiner.
  const struct {
    std::wstring title;
    size_t kept;
  } cuts[] = {{std::wstring(63, L'a') + wchar_t(0xD83D) + wchar_t(0xDE00) + L"b", 63},
              {std::wstring(62, L'a') + wchar_t(0xD83D) + wchar_t(0xDE00) + L"b", 64},
              {std::wstring(63, L'a') + L"e" + wchar_t(0x0301) + L"b", 63},
              {std::wstring(62, L'a') + L"e" + wchar_t(0x0301) + wchar_t(0x0302) + L"b", 62},
              {std::wstring(63, L'a') + wchar_t(0x200D) + L"bc", 62}};
  for (const auto& c : cuts) EXPECT_EQ(SafeForFileName(c.title), c.title.substr(0, c.kept)) << c.kept;
  const struct {
    const wchar_t *path, *numbered;
  } cases[] = {{L"shot.png", L"shot_001.png"},
               {L"C:\\a.b\\shot", L"C:\\a.b\\shot_001"},
               {L"dir/.hidden", L"dir/.hidden_001"},
               {L"x.tar.gz", L"x.tar_001.gz"}};
  for (const auto& c : cases) EXPECT_EQ(NumberedName(c.path, 1), c.numbered) << ToUtf8(c.path);
  EXPECT_EQ(NumberedName(L"s.bmp", 999), L"s_999.bmp");
}

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = dir_ / "shot.bmp";
    std::ofstream(target_, std::ios::binary) << "old picture";
  }
  std::string Contents() {
    std::ifstream in(target_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  size_t FilesInFolder() { return size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }
  testsupport::ScratchFolder scratch_{"files"};
  fs::path dir_ = scratch_.Path(), target_;
};

TEST_F(FileStreamTest, CommitReplacesTheTargetWhole) {
  {
    FileStream file(target_.wstring());
    file.Write("new ", 4);
    EXPECT_EQ(Contents(), "old picture");  // nothing of the new file shows before the end
    file.Write("picture", 7);
    file.Commit();
  }
  EXPECT_EQ(Contents(), "new picture");
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(FileStreamTest, PartsWrittenAtTheirPlacesLastFirst) {
  // A BMP's bands land from the top of the picture, the end of the file, first.
  {
    FileStream file(target_.wstring());
    file.Write("head:", 5);
    file.WriteAt(9, "3333", 4);
    file.WriteAt(5, "2222", 4);
    file.Write("4", 1);  // goes on from the end of the last part written
    file.Commit();
  }
  EXPECT_EQ(Contents(), "head:22224333");
}

TEST_F(FileStreamTest, KeepingExistingFilesTakesTheNextFreeNumberedName) {
  std::wstring taken;
  for (const char* text : {"first", "second"}) {
    FileStream file(target_.wstring(), FileStream::Existing::Keep);
    file.Write(text, std::strlen(text));
    file.Commit();
    taken = file.Name();
  }
  EXPECT_EQ(Contents(), "old picture");
  EXPECT_EQ(taken, (dir_ / "shot_002.bmp").wstring());
  std::ifstream first(dir_ / "shot_001.bmp", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(first)), {}), "first");
  EXPECT_EQ(FilesInFolder(), 3u);
}

TEST_F(FileStreamTest, AnUnfinishedWriteLeavesTheTargetAndNoTemporaryFile) {
  try {
    FileStream file(target_.wstring());
    file.Write("half", 4);
    throw std::runtime_error("the encoder failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(Contents(), "old picture");
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(FileStreamTest, ATargetInAMissingFolderIsTheFileError) {
  const std::wstring name = (dir_ / "missing" / "shot.bmp").wstring();
  try {
    FileStream file(name);
    FAIL() << "created";
  } catch (const Error& e) {
    EXPECT_EQ(e.ClassName(), "EFCreateError");
    EXPECT_NE(e.Message().find(ToUtf8(name)), std::string::npos);
  }
}

TEST_F(FileStreamTest, ATargetThatCannotBeReplacedIsTheFileErrorAndStaysAsItWas) {
  fs::remove(target_);
  fs::create_directories(target_ / "inside");  // a non-empty folder where the file should go
  try {
    FileStream file(target_.wstring());
    file.Write("x", 1);
    file.Commit();
    FAIL() << "committed";
  } catch (const Error& e) {
    EXPECT_EQ(e.ClassName(), "EFCreateError");
  }
  EXPECT_TRUE(fs::is_directory(target_ / "inside"));
  EXPECT_EQ(FilesInFolder(), 1u);
}
