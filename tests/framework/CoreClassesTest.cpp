// Strings, lists, file search and start-up rules of the framework, checked
// against the real system (string tables, files).
#include "Files.h"
#include "Text.h"
#include "afxwin.h"
#include "gtest/gtest.h"

TEST(CString, LoadsAndFormatsResourceStringsInCodePage932)
{
    CString s;
    ASSERT_TRUE(s.LoadString(1));
    EXPECT_EQ(std::string(s), tst::Cp932("ﾌｧｲﾙ: %s をｺﾋﾟｰしています."));
    CString f;
    f.Format(1u, "a.dat");
    EXPECT_EQ(std::string(f), tst::Cp932("ﾌｧｲﾙ: a.dat をｺﾋﾟｰしています."));
    EXPECT_FALSE(s.LoadString(4711));
    EXPECT_TRUE(s.IsEmpty());
    f.Format("%d%c", 7, '%');
    EXPECT_STREQ(f, "7%");
}

TEST(CString, LowerCasingLeavesDoubleByteCharactersAlone)
{
    // The trail byte of "ソ" (0x83 0x5C) and of "ア" (0x83 0x41) look like
    // ASCII; lower-casing must not touch them.
    CString s(tst::Cp932("ア&Sソ").c_str());
    s.MakeLower();
    EXPECT_EQ(std::string(s), tst::Cp932("ア&sソ"));
}

TEST(CString, EditingOperations)
{
    CString s("C:\\Dir\\App.exe");
    EXPECT_EQ(s.Find('\\'), 2);
    EXPECT_EQ(s.ReverseFind('\\'), 6);
    EXPECT_EQ(s.Find("App"), 7);
    EXPECT_STREQ(s.Left(6), "C:\\Dir");
    EXPECT_STREQ(s.Mid(7), "App.exe");
    EXPECT_STREQ(s.Mid(7, 3), "App");
    EXPECT_STREQ(s.Mid(40), "");
    s = s.Mid(3);  // assignment from a part of itself
    EXPECT_STREQ(s, "Dir\\App.exe");
    CString t;
    EXPECT_STREQ(t, "");
    t += "x";
    t += 'y';
    EXPECT_STREQ(CString("<") + t + ">", "<xy>");
}

TEST(CString, AppendingAndFormattingFromItsOwnText)
{
    // Each doubling outgrows the buffer that its source lies in.
    const std::string unit = "0123456789abcdef";
    CString s(unit.c_str());
    std::string expected = unit;
    for (int i = 0; i < 4; ++i) {
        s += s;
        expected += expected;
    }
    EXPECT_EQ(std::string(s), expected);
    LPCSTR pTail = static_cast<LPCSTR>(s) + 250;  // a pointer into the text
    s += pTail;
    EXPECT_EQ(std::string(s), expected + "abcdef");
    s.Format("<%s|%s>", static_cast<LPCSTR>(s), static_cast<LPCSTR>(s));
    EXPECT_EQ(std::string(s), "<" + expected + "abcdef|" + expected + "abcdef>");
}

TEST(CString, SearchesWalkJapanesePathsByCharacter)
{
    // ソ is 83 5C and 表 is 95 5C: their trail bytes are backslashes, and
    // ア (83 41) ends in an 'A'.
    CString path(tst::Cp932("C:\\ソフト\\表.txt").c_str());
    ASSERT_EQ(path.GetLength(), 16);
    EXPECT_EQ(path.ReverseFind('\\'), 9);
    EXPECT_EQ(path.Find('\\'), 2);
    EXPECT_EQ(path.Find('\\', 3), 9);
    EXPECT_EQ(path.Find("\\"), 2);
    EXPECT_EQ(path.Find("\\", 3), 9);
    EXPECT_EQ(std::string(path.Mid(path.ReverseFind('\\') + 1)), tst::Cp932("表.txt"));
    CString name(tst::Cp932("ア表").c_str());
    EXPECT_EQ(name.Find('\\'), -1);
    EXPECT_EQ(name.ReverseFind('\\'), -1);
    EXPECT_EQ(name.Find('A'), -1);
    EXPECT_EQ(name.Find("A"), -1);
    EXPECT_EQ(name.Find(tst::Cp932("表").c_str()), 2);
}

TEST(ExtractSubString, FieldsByIndex)
{
    CString s;
    EXPECT_TRUE(AfxExtractSubString(s, "\"C:\\A B\\x.exe\" -a", 1, '"'));
    EXPECT_STREQ(s, "C:\\A B\\x.exe");
    EXPECT_TRUE(AfxExtractSubString(s, "\"C:\\open", 1, '"'));
    EXPECT_STREQ(s, "C:\\open");
    EXPECT_FALSE(AfxExtractSubString(s, "none", 1, '"'));
    EXPECT_STREQ(s, "");
    EXPECT_TRUE(AfxExtractSubString(s, "Title\n\nDoc", 0));
    EXPECT_STREQ(s, "Title");
}

TEST(CPtrList, KeepsOrderAcrossNodeBlocks)
{
    CPtrList list;
    for (intptr_t i = 1; i <= 25; ++i)
        list.AddTail(reinterpret_cast<void*>(i));
    EXPECT_EQ(list.GetCount(), 25);
    intptr_t expected = 1;
    for (POSITION pos = list.GetHeadPosition(); pos; ++expected)
        EXPECT_EQ(reinterpret_cast<intptr_t>(list.GetNext(pos)), expected);
    EXPECT_EQ(expected, 26);
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(reinterpret_cast<void*>(7));
    POSITION pos = list.GetHeadPosition();
    EXPECT_EQ(reinterpret_cast<intptr_t>(list.GetNext(pos)), 7);
    EXPECT_EQ(pos, nullptr);
}

TEST(CFileFind, WalksEntriesWithFullPathsAndSizes)
{
    tst::TempDir dir("ff");
    tst::WriteBytes(dir / "a.txt", std::string(12345, 'x'));
    tst::MakeDirs(dir / "sub");
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile((dir / "A.TXT").c_str()));
    EXPECT_FALSE(finder.FindNextFile());  // the only match is now current
    EXPECT_EQ(std::string(finder.GetFilePath()), dir / "a.txt");
    EXPECT_EQ(finder.GetLength(), 12345u);
    EXPECT_FALSE(finder.IsDirectory());

    int nDots = 0, nDirs = 0, nFiles = 0;
    BOOL bMore = finder.FindFile((dir / "*.*").c_str());
    ASSERT_TRUE(bMore);
    while (bMore) {
        bMore = finder.FindNextFile();
        if (finder.IsDots())
            ++nDots;
        else if (finder.IsDirectory())
            ++nDirs;
        else
            ++nFiles;
    }
    EXPECT_EQ(nDots, 2);
    EXPECT_EQ(nDirs, 1);
    EXPECT_EQ(nFiles, 1);
    EXPECT_FALSE(finder.FindFile((dir / "missing.*").c_str()));
}

TEST(StartUp, CommandLineArgumentsAsTheStartUpCodeSkipsThem)
{
    auto args = [](const char* cmd) {
        std::string s(cmd);
        return std::string(AfxSkipProgramName(&s[0]));
    };
    EXPECT_EQ(args("VelraUpdate.exe"), "");
    EXPECT_EQ(args("VelraUpdate.exe    "), "");
    EXPECT_EQ(args("VelraUpdate.exe \t /x y"), "/x y");
    EXPECT_EQ(args("\"C:\\Program Files\\V\\VelraUpdate.exe\" drv"), "drv");
    EXPECT_EQ(args("\"C:\\Program Files\\V\\VelraUpdate.exe\""), "");
}

TEST(StartUp, TitleComesFromString57344UnlessNamed)
{
    {
        CWinApp app;
        AfxWinInit(GetModuleHandleA(nullptr), nullptr, const_cast<char*>("arg"), SW_SHOW);
        EXPECT_EQ(std::string(app.m_pszAppName), tst::Cp932("ﾃｽﾄ用ｱﾌﾟﾘ"));
        EXPECT_STREQ(app.m_lpCmdLine, "arg");
        EXPECT_EQ(AfxGetApp(), &app);
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    CWinApp named("Named");
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOW);
    EXPECT_STREQ(named.m_pszAppName, "Named");
}
