// The walk over a tree held in memory: which files, in which order, and what is left alone.
#include "walk.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace korvale::engine {
namespace {

using Paths = std::vector<std::string>;

// Folders as a map from folder path to its entries, and the links that lead to folders.
class FakeFolders final : public Folders {
 public:
  std::map<std::string, std::vector<FolderEntry>> folders;
  std::set<std::string> linksToFolders;
  std::set<std::string> unreadable;
  int listings = 0;

  // Names are read up to a NUL, as the system reads them.
  std::optional<std::vector<FolderEntry>> list(const std::string& name) override {
    ++listings;
    const std::string folder = name.c_str();
    if (unreadable.contains(folder) || !folders.contains(folder)) return std::nullopt;
    return folders.at(folder);
  }
  PathInfo look(const std::string& name) override {
    const std::string path = name.c_str();
    const bool folder =
        folders.contains(path) || unreadable.contains(path) || linksToFolders.contains(path);
    return {folder, FileId{0, std::hash<std::string>{}(path)}};
  }
  std::string join(const std::string& folder, std::string_view name) override {
    return folder + (folder.ends_with('/') ? "" : "/") + std::string(name);
  }
};

Paths walk(FakeFolders& folders, const Paths& arguments) {
  Paths taken;
  for (const std::string& path : arguments) {
    walkPath(folders, path, [&](WalkedFile file) {
      taken.push_back(std::move(file.path));
      return true;
    });
  }
  return taken;
}

TEST(Walk, XmlFilesInByteOrderDepthFirst) {
  using E = FolderEntry;
  FakeFolders fs;
  fs.folders["cat"] = {
      {"b.xml", E::kOther},       {"Z.XML", E::kOther},        {"a", E::kFolder},
      {"notes.txt", E::kOther},   {"\xc3\xa4.xml", E::kOther}, {"a.xml", E::kOther},
      {"x.xml.bak", E::kOther},   {".xml", E::kOther},         {"m.Xml", E::kOther},
      {"link.xml", E::kLink},     {"dirlink.xml", E::kLink},   {"dirlink", E::kLink},
      {"folder.xml", E::kFolder}, {"xml", E::kOther}};
  fs.folders["cat/a"] = {{"inner.xml", E::kOther}, {"deeper", E::kFolder}};
  fs.folders["cat/a/deeper"] = {{"d.xml", E::kOther}};
  fs.folders["cat/folder.xml"] = {};
  fs.linksToFolders = {"cat/dirlink.xml", "cat/dirlink"};
  EXPECT_EQ(walk(fs, {"cat"}),
            (Paths{"cat/.xml", "cat/Z.XML", "cat/a/deeper/d.xml", "cat/a/inner.xml", "cat/a.xml",
                   "cat/b.xml", "cat/link.xml", "cat/m.Xml", "cat/\xc3\xa4.xml"}));
}

TEST(Walk, ArgumentsInTheirOrder) {
  FakeFolders fs;
  fs.folders["d/"] = {{"2.xml", FolderEntry::kOther}, {"1.xml", FolderEntry::kOther}};
  fs.folders["empty"] = {};
  // Files named as arguments are taken whatever their name, existing or not; a folder given
  // with its separator does not get a second one.
  EXPECT_EQ(walk(fs, {"z.txt", "d/", "missing.xml", "empty", "a.xml"}),
            (Paths{"z.txt", "d/1.xml", "d/2.xml", "missing.xml", "a.xml"}));
}

TEST(Walk, UnreadableFolderIsHandedOverAsAFile) {
  FakeFolders fs;
  fs.folders["top"] = {{"locked", FolderEntry::kFolder}, {"ok.xml", FolderEntry::kOther}};
  fs.unreadable = {"top/locked"};
  EXPECT_EQ(walk(fs, {"top"}), (Paths{"top/locked", "top/ok.xml"}));
}

// A list line "cat<NUL>junk" would otherwise walk the folder cat under that name.
TEST(Walk, PathWithANulIsTakenAsItIs) {
  FakeFolders fs;
  fs.folders["cat"] = {{"a.xml", FolderEntry::kOther}};
  const std::string odd("cat\0junk", 8);
  EXPECT_EQ(walk(fs, {odd}), Paths{odd});
  EXPECT_EQ(fs.listings, 0);
}

TEST(Walk, StopsWhenTheTakerStops) {
  FakeFolders fs;
  fs.folders["top"] = {{"sub", FolderEntry::kFolder}, {"z.xml", FolderEntry::kOther}};
  fs.folders["top/sub"] = {{"a.xml", FolderEntry::kOther}, {"b.xml", FolderEntry::kOther}};
  Paths taken;
  EXPECT_FALSE(walkPath(fs, "top", [&](WalkedFile file) {
    taken.push_back(file.path);
    return false;
  }));
  EXPECT_EQ(taken, Paths{"top/sub/a.xml"});
  EXPECT_EQ(fs.listings, 2);
}

// A file's identity comes from its entry; a link's from what it leads to. Only an entry that
// the listing calls a regular file is taken as one: a link or a named path is looked at when
// it is opened, as is an entry of another or unknown kind.
TEST(Walk, IdentitiesOfWhatIsTaken) {
  FakeFolders fs;
  fs.folders["top"] = {{"file.xml", FolderEntry::kFile, FileId{1, 7}},
                       {"link.xml", FolderEntry::kLink, FileId{1, 8}},
                       {"other.xml", FolderEntry::kOther, FileId{1, 9}}};
  std::vector<std::pair<std::optional<FileId>, bool>> taken;
  const FileSink take = [&](WalkedFile file) {
    taken.emplace_back(file.id, file.regular);
    return true;
  };
  walkPath(fs, "top", take);
  walkPath(fs, "named.xml", take);
  const std::hash<std::string> hash;
  EXPECT_EQ(taken, (std::vector<std::pair<std::optional<FileId>, bool>>{
                       {FileId{1, 7}, true},
                       {FileId{0, hash("top/link.xml")}, false},
                       {FileId{1, 9}, false},
                       {FileId{0, hash("named.xml")}, false}}));
}

TEST(Walk, XmlNames) {
  for (const char* name : {"a.xml", "A.XML", "b.xMl", ".xml", "x.y.xml"}) {
    EXPECT_TRUE(hasXmlName(name)) << name;
  }
  for (const char* name : {"xml", "a.xm", "a.xml ", "a.xmlx", "a_xml", "a.xml.gz", ""}) {
    EXPECT_FALSE(hasXmlName(name)) << name;
  }
}

}  // namespace
}  // namespace korvale::engine
