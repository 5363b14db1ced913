#include "engine/string_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace extractor::test {
namespace {

std::vector<std::u16string> items(const StringList& list) {
  std::vector<std::u16string> out;
  for (int32_t i = 1; i <= list.Count(); i++) {
    std::u16string item;
    EXPECT_EQ(list.Item(i, item), 0);
    out.push_back(item);
  }
  return out;
}

TEST(StringList, SplitsAtEverySeparatorKeepingEmptyPieces) {
  StringList list;
  list.SetSeparator(u"/");
  list.Add(u"a//b/");
  EXPECT_EQ(items(list), (std::vector<std::u16string>{u"a", u"", u"b", u""}));
  list.Clear();
  list.Add(u"/a");
  EXPECT_EQ(items(list), (std::vector<std::u16string>{u"", u"a"}));
  list.Clear();
  list.Add(u"");
  EXPECT_EQ(items(list), (std::vector<std::u16string>{u""}));
  EXPECT_EQ(list.Separator(), u"/");
}

TEST(StringList, MultiCharacterSeparatorAndNoSeparator) {
  StringList list;
  list.SetSeparator(u"\r\n");
  list.Add(u"one\r\ntwo\rthree");
  EXPECT_EQ(items(list), (std::vector<std::u16string>{u"one", u"two\rthree"}));
  StringList whole;
  whole.Add(u"a/b");
  EXPECT_EQ(items(whole), (std::vector<std::u16string>{u"a/b"}));
}

TEST(StringList, JoinsWithTheSeparatorBetweenNeighboursOnly) {
  StringList list;
  list.SetSeparator(u"\\");
  list.Add(u"C:\\out\\");
  EXPECT_EQ(items(list), (std::vector<std::u16string>{u"C:", u"out", u""}));
  list.SetSeparator(u"/");
  EXPECT_EQ(list.Join(), u"C:/out/");
  StringList empty;
  EXPECT_EQ(empty.Join(), u"");
}

TEST(StringList, ItemOutsideTheListFails) {
  StringList list;
  list.Add(u"only");
  std::u16string item = u"untouched";
  EXPECT_EQ(list.Item(0, item), -1);
  EXPECT_EQ(list.Item(2, item), -1);
  EXPECT_EQ(item, u"untouched");
  EXPECT_EQ(list.Item(1, item), 0);
  EXPECT_EQ(item, u"only");
}

}  // namespace
}  // namespace extractor::test
