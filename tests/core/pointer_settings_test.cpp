// The per-user pointer settings through the store's own operations, on the in-memory registry
// natively and on the real one under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string_view>

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::TestPlatform;

constexpr std::size_t kArrow = 0;
constexpr std::size_t kNWPen = 6;
constexpr std::size_t kHand = 14;

class PointerSettingsTest : public ::testing::Test {
 protected:
  TestPlatform bed;
  CPointerSettings store{bed.registry(), bed.reloader()};
};

TEST_F(PointerSettingsTest, WritesExpandStringWithTerminatorCounted) {
  ASSERT_TRUE(store.OpenForWriting());
  ASSERT_TRUE(store.WriteRolePath(kArrow, u"C:\\Pointers\\arrow.cur"));
  store.Close();

  const auto stored = bed.Stored(u"Arrow");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, 2u);        // REG_EXPAND_SZ even without a percent sign
  EXPECT_EQ(stored->byteCount, 44u);  // 21 units and the terminator
  EXPECT_EQ(stored->text, std::u16string(u"C:\\Pointers\\arrow.cur") + u'\0');
}

TEST_F(PointerSettingsTest, EnvironmentReferencesAreStoredUnexpanded) {
  ASSERT_TRUE(store.OpenForWriting());
  ASSERT_TRUE(store.WriteRolePath(kHand, u"%SystemRoot%\\cursors\\hand.cur"));
  store.Close();
  EXPECT_EQ(bed.Stored(u"Hand")->text, std::u16string(u"%SystemRoot%\\cursors\\hand.cur") + u'\0');
}

TEST_F(PointerSettingsTest, AbsentEmptyAndUnreadableRolesAllReadAsEmpty) {
  bed.Store(u"Help", u"");
  const std::uint32_t number = 7;
  bed.StoreBytes(u"Wait", 4 /* REG_DWORD */, &number, 2);  // one unit, no terminator
  bed.registry().fault = [](std::string_view call, std::u16string_view name) {
    return call == "QueryValue" && name == u"IBeam" ? status::kAccessDenied : status::kSuccess;
  };
  bed.Store(u"IBeam", u"C:\\x.cur");
  ASSERT_TRUE(store.OpenForReading());
  EXPECT_EQ(store.ReadRolePath(kArrow), u"");
  EXPECT_EQ(store.ReadRolePath(1), u"");
  EXPECT_EQ(store.ReadRolePath(5), u"");
  // The type is not checked: the data are taken as text, ended safely.
  EXPECT_EQ(store.ReadRolePath(3), std::u16string(1, char16_t{7}));
}

TEST_F(PointerSettingsTest, ReadsAnyLengthWhole) {
  for (std::size_t length : {259u, 260u, 1000u, 40000u}) {
    const std::u16string path = u"C:\\" + std::u16string(length - 3, u'p');
    bed.Store(u"Arrow", path);
    ASSERT_TRUE(store.OpenForReading());
    EXPECT_EQ(store.ReadRolePath(kArrow), path) << length;
    store.Close();
  }
}

TEST_F(PointerSettingsTest, UnterminatedValueEndsAtItsLastUnit) {
  const std::u16string text = u"C:\\a.cur";
  bed.StoreBytes(u"Arrow", 2, text.data(), static_cast<std::uint32_t>(text.size() * 2));
  bed.StoreBytes(u"Help", 1, text.data(), static_cast<std::uint32_t>(text.size() * 2 + 1));
  const std::u16string full(260, u'x');
  bed.StoreBytes(u"Wait", 2, full.data(), 520);  // fills the usual buffer to the last unit
  ASSERT_TRUE(store.OpenForReading());
  EXPECT_EQ(store.ReadRolePath(kArrow), text);
  EXPECT_EQ(store.ReadRolePath(1), text);  // an odd last byte is no unit
  EXPECT_EQ(store.ReadRolePath(3), full);
}

TEST_F(PointerSettingsTest, ValueNamesCompareWithoutCase) {
  bed.Store(u"nwpen", u"C:\\pen.cur");
  ASSERT_TRUE(store.OpenForReading());
  EXPECT_EQ(store.ReadRolePath(kNWPen), u"C:\\pen.cur");
}

TEST_F(PointerSettingsTest, OpenForReadingNeverCreatesTheKey) {
  ASSERT_FALSE(bed.CursorsKeyExists());
  EXPECT_FALSE(store.OpenForReading());
  EXPECT_FALSE(bed.CursorsKeyExists());
  EXPECT_TRUE(bed.registry().log.empty());
}

TEST_F(PointerSettingsTest, OpenForWritingCreatesCursorsUnderAnExistingControlPanel) {
  ASSERT_FALSE(bed.CursorsKeyExists());
  EXPECT_TRUE(store.OpenForWriting());
  store.Close();
  EXPECT_TRUE(bed.CursorsKeyExists());
  // Once it exists it is simply opened.
  bed.registry().log.clear();
  EXPECT_TRUE(store.OpenForWriting());
  EXPECT_TRUE(bed.registry().log.empty());
}

TEST_F(PointerSettingsTest, OpenForWritingWithoutControlPanelFailsAndCreatesNothing) {
  bed.RemoveControlPanelKey();
  EXPECT_FALSE(store.OpenForWriting());
  EXPECT_FALSE(bed.ControlPanelKeyExists());
  EXPECT_EQ(bed.registry().openHandles, 0);
}

TEST_F(PointerSettingsTest, OpenForWritingFailsWhenCursorsCannotBeCreated) {
  bed.registry().fault = [](std::string_view call, std::u16string_view) {
    return call == "CreateKey" ? status::kAccessDenied : status::kSuccess;
  };
  EXPECT_FALSE(store.OpenForWriting());
  EXPECT_EQ(bed.registry().openHandles, 0);  // "Control Panel" released on the failure path
}

TEST_F(PointerSettingsTest, DeleteRemovesOnlyItsRoleAndToleratesAbsence) {
  bed.Store(u"Arrow", u"C:\\a.cur");
  bed.Store(u"Help", u"C:\\h.cur");
  bed.Store(u"", u"default value stays");
  bed.Store(u"Scheme Source", u"other values stay");
  ASSERT_TRUE(store.OpenForWriting());
  store.DeleteRolePath(kArrow);
  store.DeleteRolePath(kArrow);
  store.DeleteRolePath(kHand);
  store.Close();
  EXPECT_FALSE(bed.Stored(u"Arrow"));
  EXPECT_TRUE(bed.Stored(u"Help"));
  EXPECT_TRUE(bed.Stored(u""));
  EXPECT_TRUE(bed.Stored(u"Scheme Source"));
}

TEST_F(PointerSettingsTest, WriteReportsFailure) {
  bed.registry().fault = [](std::string_view call, std::u16string_view) {
    return call == "SetValue" ? status::kAccessDenied : status::kSuccess;
  };
  ASSERT_TRUE(store.OpenForWriting());
  EXPECT_FALSE(store.WriteRolePath(kArrow, u"C:\\a.cur"));
  EXPECT_FALSE(bed.Stored(u"Arrow"));
}

TEST_F(PointerSettingsTest, NotifyReachesTheReloaderAndCloseReleasesTheKey) {
  ASSERT_TRUE(store.OpenForWriting());
  store.NotifyPointersChanged();
  EXPECT_EQ(bed.reloader().count, 1);
  store.Close();
  EXPECT_EQ(bed.registry().openHandles, 0);
}

TEST(PointerRolesTest, RolesInOrderWithTheirStockPointersTextsAndValueNames) {
  // The value name under HKCU\Control Panel\Cursors, the stock id LoadCursorW takes (as the
  // system headers number them; Handwriting has none) and the id of the English display name.
  struct Row {
    std::u16string_view valueName;
    std::uint16_t stock;
    std::uint32_t text;
  };
  const Row rows[] = {
      {u"Arrow", 32512, 113},        // IDC_ARROW, "Normal Select"
      {u"Help", 32651, 114},         // IDC_HELP, "Help Select"
      {u"AppStarting", 32650, 115},  // IDC_APPSTARTING, "Working in Background"
      {u"Wait", 32514, 116},         // IDC_WAIT, "Busy"
      {u"Crosshair", 32515, 117},    // IDC_CROSS, "Precision Select"
      {u"IBeam", 32513, 118},        // IDC_IBEAM, "Text Select"
      {u"NWPen", 0, 119},            // "Handwriting"
      {u"No", 32648, 120},           // IDC_NO, "Unavailable"
      {u"SizeNS", 32645, 121},       // IDC_SIZENS, "Vertical Resize"
      {u"SizeWE", 32644, 122},       // IDC_SIZEWE, "Horizontal Resize"
      {u"SizeNWSE", 32642, 123},     // IDC_SIZENWSE, "Diagonal Resize 1"
      {u"SizeNESW", 32643, 124},     // IDC_SIZENESW, "Diagonal Resize 2"
      {u"SizeAll", 32646, 125},      // IDC_SIZEALL, "Move"
      {u"UpArrow", 32516, 126},      // IDC_UPARROW, "Alternate Select"
      {u"Hand", 32649, 127},         // IDC_HAND, "Link Select"
      {u"Pin", 32671, 141},          // IDC_PIN, "Location Select"
      {u"Person", 32672, 142},       // IDC_PERSON, "Person Select"
  };
  ASSERT_EQ(PointerRoles.size(), std::size(rows));
  EXPECT_EQ(kPointerRoleCount, 15u);  // what the menu, saved schemes and thumbnails hold
  for (std::size_t role = 0; role < std::size(rows); ++role) {
    EXPECT_EQ(PointerRoles[role].valueName, rows[role].valueName) << role;
    EXPECT_EQ(PointerRoles[role].systemCursorId, rows[role].stock) << role;
    EXPECT_EQ(PointerRoles[role].displayStringId, rows[role].text) << role;
  }
}

}  // namespace
}  // namespace pivora
