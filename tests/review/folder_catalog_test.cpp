// The catalog read from the folders alone: times from the file names, lengths from the AVI
// headers (the readable part of a file that was never closed), days in order, removal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "review/avi_length.h"
#include "review/folder_catalog.h"
#include "tests/review/review_fixtures.h"

namespace vidora {
namespace {

namespace fs = std::filesystem;

TEST(FileNameTimeTest, ReadsBothNamingsAndRejectsOthers) {
    // Tests run in UTC.
    EXPECT_EQ(timeFromFileName("20261208123822.avi"),
              test::kDay + (12 * 3600 + 38 * 60 + 22) * 1000LL);
    EXPECT_EQ(timeFromFileName("20261208-123822-03.jpg"),
              test::kDay + (12 * 3600 + 38 * 60 + 22) * 1000LL);
    EXPECT_EQ(timeFromFileName("20261208123822_1.avi"), timeFromFileName("20261208123822.avi"));
    EXPECT_FALSE(timeFromFileName("holiday.avi"));
    EXPECT_FALSE(timeFromFileName("2026120812.avi"));
    EXPECT_FALSE(timeFromFileName("20261399123822.avi"));
    EXPECT_FALSE(timeFromFileName("20261208253822.avi"));
    EXPECT_EQ(dayOf(test::kDay + 86399999), (CatalogDay{2026, 12, 8}));
    EXPECT_EQ(startOfDay({2026, 12, 8}), test::kDay);
}

TEST(FolderCatalogTest, ListsTheFoldersByDayWithLengthsFromTheHeaders) {
    char pattern[] = "/tmp/vidora-catalog-XXXXXX";
    const fs::path dir = ::mkdtemp(pattern);
    const fs::path record = dir / "RECORD", snapshots = dir / "SNAPSHOT";
    fs::create_directories(record);
    fs::create_directories(snapshots);
    ASSERT_TRUE(test::makeAvi(record / "20261208101500.avi", 2));
    ASSERT_TRUE(test::makeAvi(record / "20261207235959.avi", 1));
    fs::copy_file(record / "20261208101500.avi", record / "20261208090000.avi");
    // A file the program never closed: cut inside its 30th picture.
    const std::vector<test::Packet> packets = test::probePackets(record / "20261208090000.avi");
    ASSERT_GT(packets.size(), 40u);
    fs::resize_file(record / "20261208090000.avi", packets[30].pos + 5);
    std::ofstream(snapshots / "20261208-095000-00.jpg") << "jpeg";
    std::ofstream(snapshots / "20261208-095000-01.bmp") << "bmp";
    std::ofstream(record / "notes.txt") << "not ours";
    std::ofstream(record / "copy of 20261208.avi") << "not ours";

    FolderCatalog catalog(record.string(), snapshots.string());
    const std::vector<CatalogDay> days = catalog.daysWithItems();
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0], (CatalogDay{2026, 12, 7}));
    EXPECT_EQ(days[1], (CatalogDay{2026, 12, 8}));

    const std::vector<CatalogItem> items = catalog.items({2026, 12, 8}, {});
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(fs::path(items[0].path).filename(), "20261208090000.avi");
    EXPECT_TRUE(items[0].truncated);
    EXPECT_EQ(items[0].end - items[0].start, 30 * 40);
    EXPECT_EQ(items[1].kind, CatalogItemKind::Snapshot);
    EXPECT_EQ(items[2].kind, CatalogItemKind::Snapshot);
    EXPECT_EQ(fs::path(items[3].path).filename(), "20261208101500.avi");
    EXPECT_FALSE(items[3].truncated);
    EXPECT_EQ(items[3].end - items[3].start, 2000);
    EXPECT_EQ(items[3].bytes, fs::file_size(record / "20261208101500.avi"));
    EXPECT_TRUE(fs::path(items[3].path).is_absolute());
    // The folders say nothing of alarms.
    EXPECT_TRUE(catalog.items({2026, 12, 8}, {true, EventChannel::None}).empty());
    EXPECT_TRUE(catalog.alarms({2026, 12, 8}).empty());

    EXPECT_EQ(catalog.remove(items[3]), "");
    EXPECT_FALSE(fs::exists(items[3].path));
    EXPECT_EQ(catalog.items({2026, 12, 8}, {}).size(), 3u);
    catalog.rescan();
    EXPECT_EQ(catalog.items({2026, 12, 8}, {}).size(), 3u);

    // Not an AVI file at all.
    EXPECT_FALSE(readAviLength((snapshots / "20261208-095000-00.jpg").string()).valid);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vidora
