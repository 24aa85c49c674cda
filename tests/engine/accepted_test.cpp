// The accepted state on disk: what one run saves, the next compares against; a file that cannot be trusted is
// never used, and a save cut short leaves the last good one.
#include "tests/engine/engine_test.h"

#include <fstream>
#include <sstream>

using AcceptedStateTest = WatchTest;

static std::string FileText(const std::string& path) {
    std::ostringstream text;
    return text << std::ifstream(path, std::ios::binary).rdbuf(), text.str();
}

TEST_F(AcceptedStateTest, ChangesWhileAwayShowAtTheNextStartAndOnlyAWholeFileOfThisVersionIsUsed) {
    ASSERT_EQ(65001u, GetACP()) << "the manifest asks for UTF-8";
    const std::string path = ModulePath("accepted-test.dat");
    const std::string kOdd = "\xd0\x96 \xe4\xb8\xad%\x01";  // Cyrillic, Chinese, a blank, '%' and a control byte
    ASSERT_EQ(0, RunWriter("HKCU", kRunKey, "set \"" + kOdd + "\" \"" + kOdd + "\" sethex Bin 3 00ff25 set Gone g.exe"));
    if (RegWatch_HasTwoViews()) { ASSERT_EQ(0, RunWriter("HKLM32", kRunKey, "set KwThirtyTwo x86.exe")); }
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    ASSERT_EQ(REGWATCH_OK, RegWatch_SetAcceptedFile(watch, path.c_str()));
    const std::string saved = FileText(path);

    // A save that cannot be moved into place leaves the previous file as it was, and no half file beside it.
    RegWatchSeam_Sys()->moveFileEx = [](const char*, const char*, DWORD) { return FALSE; };
    Put(HKCU, kRunKey, "Alpha", "changed-in-between.exe");
    EXPECT_EQ(REGWATCH_E_SAVE, RegWatch_SetAcceptedFile(watch, path.c_str()));
    EXPECT_TRUE(FileText(path) == saved && GetFileAttributesA((path + ".new").c_str()) == INVALID_FILE_ATTRIBUTES);
    RegWatchSeam_ResetSys(), RegWatch_SetAcceptedFile(watch, nullptr);

    // Meanwhile another program adds, changes and deletes, in both views.
    ASSERT_EQ(0, RunWriter("HKCU", kRunKey, "set Alpha evil.exe del Gone sethex Bin 3 00ff26 set New new.exe"));
    if (RegWatch_HasTwoViews()) { ASSERT_EQ(0, RunWriter("HKLM32", kRunKey, "set KwThirtyTwo evil32.exe")); }
    RegWatchHandle* next = nullptr;
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&next));
    ASSERT_EQ(REGWATCH_OK, RegWatch_LoadAccepted(next, path.c_str()));
    EXPECT_EQ(1, RegWatch_CompareAll(next));
    struct { const char* name; ChangeStatus status; std::string previous; } expected[] = {  // previous: its bytes
        {"Alpha", Changed, std::string("alpha.exe", 10)}, {"Beta", Unchanged, ""}, {kOdd.c_str(), Unchanged, ""},
        {"Bin", Changed, std::string("\x00\xff\x25", 3)}, {"Gone", Deleted, ""}, {"New", New, ""}};
    for (const auto& e : expected) {
        ChangeEntry* entry = FindEntry(&next->watched, HKCU, kRunKey, e.name);
        ASSERT_TRUE(entry) << e.name;
        EXPECT_TRUE(entry->status == e.status && e.previous.empty() == !entry->previous) << e.name;
        EXPECT_TRUE(!entry->previous || e.previous == std::string(Text(entry->previous), entry->previous->dataLen)) << e.name;
    }
    EXPECT_TRUE(!strcmp(kOdd.c_str(), Text(FindEntry(&next->watched, HKCU, kRunKey, kOdd.c_str())->current)));
    for (WatchedKey* key = WatchedKey_First(&next->watched); key; key = WatchedKey_Next(key))
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
            if (!strcmp(entry->current->name, "KwThirtyTwo")) {
                EXPECT_TRUE(key->view == KEY_WOW64_32KEY && entry->status == Changed && !strcmp("x86.exe", Text(entry->previous)));
            }

    // Truncated, corrupt, empty, huge and of another version: refused, and the baseline stays as it was.
    const std::string huge(65u * 1024 * 1024, 'k');
    const std::string bad[] = {saved.substr(0, saved.size() / 2), saved.substr(0, saved.size() - 12) + "X" + saved.substr(saved.size() - 11), "",
                               "Keywarden accepted state 2" + saved.substr(saved.find('\n')), saved.substr(0, 27) + huge + saved.substr(27)};
    for (const std::string& text : bad) {
        std::ofstream(path, std::ios::binary) << text;
        const DWORD generation = RegWatch_Generation(next);
        EXPECT_EQ(REGWATCH_E_BAD_FILE, RegWatch_LoadAccepted(next, path.c_str())) << text.size();
        EXPECT_EQ(generation, RegWatch_Generation(next));
    }
    DeleteFileA(path.c_str());
    EXPECT_EQ(REGWATCH_E_NOT_FOUND, RegWatch_LoadAccepted(next, path.c_str()));
    DestroyWatch(next);
    if (RegWatch_HasTwoViews()) RunWriter("HKLM32", kRunKey, "del KwThirtyTwo");
}
