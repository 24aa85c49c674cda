// Delete and Revert walk the selected rows, whose entries live in the page's
// copy of the engine state. A rebuild running inside one of their message
// boxes frees that copy; the page here scribbles over every copy it releases
// and keeps it, so a walk that went on using an entry would act on garbage.
#include "tests/pages/page_fixture.h"

#include "tests/support/test_support.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <algorithm>
#include <string>

using testing_support::DialogAnswerer;
using testing_support::PumpUntil;

namespace {

const HKEY kRoot = HKEY_CURRENT_USER;

// Answers Yes to the question, OK to the rest, and lets the posted rebuild
// run inside the first "Error" box before answering it.
struct Answers {
    explicit Answers(TestChangesPage* page)
        : rebuildsBefore(page->rebuilds), answerer([this, page](HWND box) {
              const std::string caption = testing_support::WindowText(box);
              if (caption == "Error" && ++errors == 1)
                  rebuiltInsideBox = PumpUntil([&] { return page->rebuilds > rebuildsBefore; }, 5000);
              PostMessageA(GetDlgItem(box, caption == "Keywarden" ? IDYES : IDOK), BM_CLICK, 0, 0);
          })
    {
    }
    int rebuildsBefore;
    int errors = 0;
    bool rebuiltInsideBox = false;
    DialogAnswerer answerer;
};

}  // namespace

TEST_F(ChangesPageTest, RebuildInsideDeleteErrorBoxDoesNotLetTheWalkUseTheReleasedCopy)
{
    for (const char* name : {"KwWalkA", "KwWalkB", "KwWalkC"})
        ASSERT_EQ(kwtest::SetText(kRoot, kwtest::kRunKey, name, name), ERROR_SUCCESS);
    OpenPage();
    page->poison = true;

    // The rows in walk order; the second is gone before the walk reaches it.
    std::vector<int> rows = {RowOf("KwWalkA"), RowOf("KwWalkB"), RowOf("KwWalkC")};
    std::sort(rows.begin(), rows.end());
    ASSERT_GE(rows.front(), 0);
    const std::string first = Rows()[static_cast<size_t>(rows[0])][1];
    const std::string gone = Rows()[static_cast<size_t>(rows[1])][1];
    const std::string last = Rows()[static_cast<size_t>(rows[2])][1];
    ASSERT_EQ(kwtest::DeleteValue(kRoot, kwtest::kRunKey, gone.c_str()), ERROR_SUCCESS);
    ASSERT_TRUE(SwallowNotification());
    Select(rows);

    Answers answers(page);
    page->DeleteSelected();

    EXPECT_EQ(answers.errors, 1);
    EXPECT_TRUE(answers.rebuiltInsideBox);
    kwtest::RegValue value;
    EXPECT_FALSE(kwtest::ReadValue(kRoot, kwtest::kRunKey, first.c_str(), &value));
    EXPECT_TRUE(kwtest::ReadValue(kRoot, kwtest::kRunKey, last.c_str(), &value))
        << "the rebuild empties the selection, which ends the walk";
    // The gone value was re-read under its real name, so its entry went.
    EXPECT_TRUE(WaitForRows([&](auto&) { return RowOf(gone) < 0 && RowOf(first) < 0; }))
        << kwtest::Describe(Rows());
}

TEST_F(ChangesPageTest, RebuildInsideRevertMessageBoxDoesNotLetTheWalkUseTheReleasedCopy)
{
    ASSERT_EQ(kwtest::SetText(kRoot, kwtest::kRunKey, "KwWalkOld", "before"), ERROR_SUCCESS);
    OpenPage();
    ASSERT_EQ(kwtest::SetText(kRoot, kwtest::kRunKey, "KwWalkNew", "added"), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForRows([](auto& rows) { return HasRow(rows, "New (Added)", "KwWalkNew"); }));
    ASSERT_LT(RowOf("KwWalkNew"), RowOf("KwWalkOld")) << "the walk must meet the new value first";
    page->poison = true;

    // Changed behind the list's back: it still says Unchanged.
    ASSERT_EQ(kwtest::SetText(kRoot, kwtest::kRunKey, "KwWalkOld", "after"), ERROR_SUCCESS);
    ASSERT_TRUE(SwallowNotification());
    Select({RowOf("KwWalkNew"), RowOf("KwWalkOld")});

    Answers answers(page);
    page->RevertSelected();

    EXPECT_EQ(answers.errors, 1);
    ASSERT_EQ(answers.answerer.seen.size(), 1u);
    EXPECT_EQ(answers.answerer.seen[0].text,
              "That item hasn't chaned as far as I know - let me re-check then try again");
    EXPECT_TRUE(answers.rebuiltInsideBox);
    // Re-read under its real name after the box: Unchanged with today's data.
    EXPECT_TRUE(WaitForRows([](auto& rows) {
        for (auto& row : rows)
            if (row[1] == "KwWalkOld")
                return row[0] == "Unchanged" && row[2] == "after";
        return false;
    })) << kwtest::Describe(Rows());
    kwtest::RegValue value;
    EXPECT_FALSE(kwtest::ReadValue(kRoot, kwtest::kRunKey, "KwWalkNew", &value));
}
