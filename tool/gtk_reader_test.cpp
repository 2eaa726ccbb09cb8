#include "gtk_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "crypto/bytes.h"
#include "gtk_writer.h"
#include "storage.h"
#include "temp_dir.h"

namespace {

class GtkReader : public temp_dir_test {
 protected:
  // Reads path into a key area pre-filled with a canary, capturing stdout.
  bool read(const std::string& file) {
    std::memset(area_, 0xCC, sizeof area_);
    count_ = 0xDEADBEEF;
    testing::internal::CaptureStdout();
    const bool ok = read_entry_table(file.c_str(), area_, count_);
    out_ = testing::internal::GetCapturedStdout();
    return ok;
  }

  std::vector<std::uint32_t> keys() const {
    std::vector<std::uint32_t> k;
    for (std::uint32_t n = 0; n < count_; ++n)
      k.push_back(load32_le(area_ + 4 * n));
    return k;
  }

  bool area_untouched() const {
    for (std::uint8_t b : area_) {
      if (b != 0xCC) return false;
    }
    return true;
  }

  std::uint8_t area_[key_area_size];
  std::uint32_t count_ = 0;
  std::string out_;
};

std::vector<gtk_entry> numbered_entries(std::size_t n) {
  std::vector<gtk_entry> entries;
  for (std::size_t i = 0; i < n; ++i) {
    const auto k = static_cast<std::uint32_t>(i);
    entries.push_back({k % 3, 0x9E3779B9u * (k + 1)});
  }
  return entries;
}

TEST_F(GtkReader, CollectsKeysInTableOrder) {
  for (std::size_t n : {0u, 1u, 2u, 7u, 4098u}) {
    SCOPED_TRACE("entries " + std::to_string(n));
    const auto entries = numbered_entries(n);
    ASSERT_TRUE(read(write_file("t.gtk", make_gtk(entries))));
    EXPECT_EQ(out_, "");
    EXPECT_EQ(count_, n);
    EXPECT_EQ(keys(), entry_keys(entries));
  }
}

// Only kind 1 takes the key from word 3; every other kind takes word 1.
TEST_F(GtkReader, EntryKindChoosesTheKeyWord) {
  const std::vector<gtk_entry> entries = {
      {0, 0x11111111},          {1, 0x22222222},     {2, 0x33333333},
      {0xFFFFFFFF, 0x44444444}, {0x100, 0x55555555}, {0x01000001, 0x66666666}};
  ASSERT_TRUE(read(write_file("t.gtk", make_gtk(entries))));
  EXPECT_EQ(keys(), entry_keys(entries));
}

// Asked for them, the reader hands over each entry's kind beside its key,
// for every count up to the cap and whatever the kind's value.
TEST_F(GtkReader, HandsOverEntryKindsOnRequest) {
  for (std::size_t n : {0u, 1u, 2u, 3u, 4098u}) {
    SCOPED_TRACE("entries " + std::to_string(n));
    auto entries = numbered_entries(n);
    if (n >= 3) entries[2].kind = 0xFFFFFFFF;
    const std::string file = write_file("t.gtk", make_gtk(entries));
    std::uint32_t kinds[value_capacity + 1];
    std::memset(kinds, 0xCC, sizeof kinds);
    std::uint32_t count = 0;
    ASSERT_TRUE(read_entry_table(file.c_str(), area_, count, kinds));
    ASSERT_EQ(count, n);
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_EQ(kinds[i], entries[i].kind) << "entry " << i;
      EXPECT_EQ(load32_le(area_ + 4 * i), entries[i].key) << "entry " << i;
    }
    EXPECT_EQ(kinds[n], 0xCCCCCCCCu);  // nothing past the last entry
  }
}

// The leading bytes, anything between the header and the table and the
// second half of each slot are never examined.
TEST_F(GtkReader, UnexaminedBytesDoNotMatter) {
  const auto entries = numbered_entries(5);
  for (int filler : {0x00, 0x5A, 0xFF}) {
    for (std::size_t gap : {0u, 1u, 63u, 1000u}) {
      SCOPED_TRACE("filler " + std::to_string(filler) + " gap " +
                   std::to_string(gap));
      gtk_layout layout;
      layout.filler = static_cast<std::uint8_t>(filler);
      layout.gap = gap;
      ASSERT_TRUE(read(write_file("t.gtk", make_gtk(entries, layout))));
      EXPECT_EQ(keys(), entry_keys(entries));
    }
  }
}

// Cut a three-entry file at every length: below 40 bytes the header cannot
// be read; below 64 * 3 bytes the table cannot be found; from there on the
// table is the last 192 bytes, whatever they now hold.
TEST_F(GtkReader, TruncatedAtEveryLength) {
  const auto full = make_gtk(numbered_entries(3));
  for (std::size_t size = 0; size < full.size(); ++size) {
    SCOPED_TRACE("size " + std::to_string(size));
    const std::string file = write_file(
        "t.gtk", {full.begin(), full.begin() + static_cast<long>(size)});
    const bool ok = read(file);
    if (size < 40) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(out_, "Couldn't read " + file + "\n");
    } else if (size < 3 * slot_size) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(out_, "Couldn't seek in " + file + "\n");
    } else {
      EXPECT_TRUE(ok);
      EXPECT_EQ(out_, "");
      EXPECT_EQ(count_, 3u);
    }
  }
}

// Nothing keeps the table from overlapping the header in a short file: it is
// read from the end as it stands.
TEST_F(GtkReader, TableMayOverlapTheHeader) {
  gtk_layout layout;
  layout.header_count_set = true;
  layout.header_count = 1;
  auto file = make_gtk({}, layout);  // 40 bytes, one slot claimed
  file.resize(64, 0);
  ASSERT_TRUE(read(write_file("t.gtk", file)));
  EXPECT_EQ(count_, 1u);
}

TEST_F(GtkReader, RefusesCountsAboveCapacityBeforeSeeking) {
  for (std::uint32_t count : {4099u, 8192u, 0x80000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE("count " + std::to_string(count));
    gtk_layout layout;
    layout.header_count_set = true;
    layout.header_count = count;
    // Only 40 bytes: a seek would fail, so the message shows the cap came
    // first.
    const std::string file = write_file("t.gtk", make_gtk({}, layout));
    EXPECT_FALSE(read(file));
    EXPECT_EQ(out_, "Too many entries in " + file + "\n");
    EXPECT_TRUE(area_untouched());
  }
}

// A gtk file as a stream on which byte bad cannot be read: a read that
// reaches it stops short before it, and a read from it gives the end of
// the file or, with error set, an I/O error. Every read gives at most chunk
// bytes, and seeks go anywhere within the file.
struct stopping_source {
  std::vector<std::uint8_t> file;
  std::size_t bad = 0;
  bool error = false;
  std::size_t chunk = 0;
  std::size_t position = 0;
};

ssize_t stopping_read(void* cookie, char* out, std::size_t size) {
  auto& s = *static_cast<stopping_source*>(cookie);
  if (s.position == s.bad) {
    if (!s.error) return 0;
    errno = EIO;
    return -1;
  }
  const std::size_t until = s.position < s.bad ? s.bad : s.file.size();
  const std::size_t n =
      std::min({size, s.chunk, until - std::min(until, s.position)});
  std::memcpy(out, s.file.data() + s.position, n);
  s.position += n;
  return static_cast<ssize_t>(n);
}

int stopping_seek(void* cookie, off64_t* offset, int whence) {
  auto& s = *static_cast<stopping_source*>(cookie);
  const off64_t base = whence == SEEK_SET ? 0
                       : whence == SEEK_CUR
                           ? static_cast<off64_t>(s.position)
                           : static_cast<off64_t>(s.file.size());
  const off64_t target = base + *offset;
  if (target < 0) {
    errno = EINVAL;
    return -1;
  }
  s.position = static_cast<std::size_t>(target);
  *offset = target;
  return 0;
}

// A read that stops short anywhere, in the header, in the first run of
// slots read at once, at the border of two runs or in the last one, read in
// small pieces or large: "Couldn't read" and no entry_count, whether the
// stop is an end of file or an error. A byte that cannot be read between
// the header and the table, or past the end, does no harm: it is never read.
TEST(GtkReaderStream, AReadCutShortAnywhereFails) {
  const std::size_t entries = slots_per_read + slots_per_read / 2 + 3;
  const auto table = numbered_entries(entries);
  gtk_layout layout;
  layout.gap = 100;
  const std::size_t table_start = gtk_leading_size + record_size + layout.gap;
  stopping_source source;
  source.file = make_gtk(table, layout);
  ASSERT_EQ(source.file.size(), table_start + entries * slot_size);
  cookie_io_functions_t io{};
  io.read = stopping_read;
  io.seek = stopping_seek;
  static std::uint8_t area[key_area_size];

  struct outcome {
    bool ok;
    std::uint32_t count;
    bool keys_right;
  };
  for (const std::size_t chunk :
       {std::size_t{7}, std::size_t{61}, slots_per_read * slot_size,
        std::size_t{1} << 20}) {
    for (const bool error : {false, true}) {
      SCOPED_TRACE("chunk " + std::to_string(chunk) +
                   (error ? ", error" : ", end of file"));
      // One capture for every stop: the messages are checked all at once.
      std::vector<outcome> outcomes;
      testing::internal::CaptureStdout();
      for (std::size_t bad = 0; bad <= source.file.size(); ++bad) {
        source.bad = bad;
        source.error = error;
        source.chunk = chunk;
        source.position = 0;
        std::FILE* file = fopencookie(&source, "rb", io);
        if (file == nullptr) break;
        std::uint32_t count = 0xDEADBEEF;
        const bool ok = read_entry_stream(file, "t.gtk", area, count);
        std::fclose(file);
        bool keys_right = true;
        for (std::size_t n = 0; ok && n < entries; ++n) {
          keys_right = keys_right && load32_le(area + 4 * n) == table[n].key;
        }
        outcomes.push_back({ok, count, keys_right});
      }
      const std::string out = testing::internal::GetCapturedStdout();
      ASSERT_EQ(outcomes.size(), source.file.size() + 1);

      std::string expected_out;
      for (std::size_t bad = 0; bad < outcomes.size(); ++bad) {
        SCOPED_TRACE("byte " + std::to_string(bad) + " cannot be read");
        const outcome& o = outcomes[bad];
        const bool never_read =
            (bad >= gtk_leading_size + record_size && bad < table_start) ||
            bad == source.file.size();
        ASSERT_EQ(o.ok, never_read);
        if (never_read) {
          ASSERT_EQ(o.count, entries);
          ASSERT_TRUE(o.keys_right);
        } else {
          ASSERT_EQ(o.count, 0xDEADBEEFu);
          expected_out += "Couldn't read t.gtk\n";
        }
      }
      EXPECT_EQ(out, expected_out);
    }
  }
}

TEST_F(GtkReader, MissingFileAndDirectory) {
  const std::string missing = path("no such file");
  EXPECT_FALSE(read(missing));
  EXPECT_EQ(out_, "Couldn't open " + missing + "\n");
  EXPECT_FALSE(read(dir_.string()));
  EXPECT_EQ(out_, "Couldn't read " + dir_.string() + "\n");
}

}  // namespace
