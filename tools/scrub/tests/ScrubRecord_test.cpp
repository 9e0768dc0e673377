// The scrub record's text forms, its journal and its files.
#include <cerrno>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "PoolScrub/Scrub.h"
#include "PoolScrub/ScrubRecord.h"
#include "VaultFiles.h"

namespace {

using namespace PoolScrub;

PoolEntry entry(uint32_t task, const std::string& guid, Result result, uint64_t pass, int64_t when) {
    PoolEntry e;
    e.taskId = task;
    e.poolGuid = guid;
    e.result = result;
    e.pass = pass;
    e.verifiedAt = when;
    FileIdentity list;
    list.name = "synclist.vsl";
    list.present = true;
    list.device = 2049;
    list.inode = 77;
    list.size = 512;
    list.mtimeSeconds = 1765400000;
    list.mtimeNanoseconds = 999999999;
    FileIdentity odd = list;
    odd.name = "a name with blanks\nand a line break %";
    odd.inode = 78;
    odd.size = UINT64_MAX;
    odd.mtimeSeconds = -5;
    odd.mtimeNanoseconds = 0;
    FileIdentity index;
    index.name = "pool.vix";
    e.files = {list, odd, index};
    return e;
}

Record sample() {
    Record r;
    r.generation = 41;
    r.pass = 3;
    r.passComplete = false;
    for (const PoolEntry& e : {entry(1, "{A-1}", Result::Ok, 3, 100), entry(1, "{B 2}", Result::Damaged, 2, -7),
                               entry(4294967295u, "", Result::Failed, 0, INT64_MIN)})
        r.pools[PoolKey(e.taskId, e.poolGuid)] = e;
    return r;
}

void expectSame(const Record& a, const Record& b) {
    EXPECT_EQ(a.generation, b.generation);
    EXPECT_EQ(a.pass, b.pass);
    EXPECT_EQ(a.passComplete, b.passComplete);
    ASSERT_EQ(a.pools.size(), b.pools.size());
    for (const auto& item : a.pools) {
        const auto found = b.pools.find(item.first);
        ASSERT_NE(found, b.pools.end()) << item.first.second;
        EXPECT_EQ(found->second.result, item.second.result);
        EXPECT_EQ(found->second.pass, item.second.pass);
        EXPECT_EQ(found->second.verifiedAt, item.second.verifiedAt);
        EXPECT_EQ(found->second.files, item.second.files);
    }
}

TEST(ScrubRecord, ReadsBackWhatItWrites) {
    const Record r = sample();
    const std::string text = formatRecord(r);
    // No value can forge a line: one line per pool and file, plus four.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4 + 3 * 4);
    expectSame(r, parseRecord(text));

    Record fromJournal;
    fromJournal.generation = 41;
    std::string journal = formatJournalHeader(41);
    for (const auto& item : r.pools) journal += formatJournalLine(item.second);
    std::string problem;
    EXPECT_EQ(applyJournal(journal, fromJournal, problem), 3u);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(fromJournal.pass, 3u);  // learnt from the pools of a pass the record did not know
    EXPECT_FALSE(fromJournal.passComplete);
    for (const auto& item : r.pools) EXPECT_EQ(fromJournal.pools.at(item.first).files, item.second.files);
}

TEST(ScrubRecord, RefusesAnyRecordThatIsNotWhole) {
    const std::string good = formatRecord(sample());
    const std::string head = "vault-scrub-record 1\ngeneration 1\npass 1 complete\n";
    const std::string pool = "pool 7 ok 1 100 1 G\n";
    const std::string file = "file 1 2 3 4 5 synclist.vsl\n";
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "not a scrub record"},
        {good.substr(0, good.size() - 1), "ends inside a line"},
        {good.substr(0, good.rfind("end ")), "no end line"},
        {"vault-scrub-record 2\n" + good.substr(good.find('\n') + 1), "not a scrub record"},
        {head + pool + file + "end 2\n", "does not count"},
        {head + pool + file + "end 1\nextra\n", "after the end line"},
        {head + "pool 7 ok 1 100 3 G\n" + file + "end 1\n", "fewer file lines"},
        {head + "pool 7 ok 1 100 2 G\n" + file + "end 1\n", "not a file line"},
        {head + pool + file + pool + file + "end 2\n", "listed twice"},
        {head + "pool 7 fine 1 100 1 G\n" + file + "end 1\n", "unknown result"},
        {head + "pool 4294967296 ok 1 100 1 G\n" + file + "end 1\n", "out of range"},
        {head + "pool 07 ok 1 100 1 G\n" + file + "end 1\n", "bad number"},
        {head + "pool -7 ok 1 100 1 G\n" + file + "end 1\n", "bad number"},
        {head + "pool 7 ok 1 -0 1 G\n" + file + "end 1\n", "bad number"},
        {head + pool + "file 1 2 3 4 1000000000 synclist.vsl\n" + "end 1\n", "out of range"},
        {head + pool + "file 1 2 3 4 5 ..\nend 1\n", "not a name"},
        {head + pool + "file 1 2 3 4 5 a%2Fb\nend 1\n", "not a name"},
        {head + pool + "file 1 2 3 4 5 a%2\nend 1\n", "bad character"},
        {head + pool + "file 1 2 3 4 5 a%zz\nend 1\n", "bad escape"},
        {head + pool + "file 1 2 3 4 5 %41\nend 1\n", "escape of a plain"},
        {head + pool + "file 1 2 3 4 5 a\tb\nend 1\n", "bad character"},
        {head + pool + "file 1 2  3 4 5 x\nend 1\n", "empty field"},
        {head + pool + "file 1 2 3 4 5\nend 1\n", "not a file line"},
        {head + pool + file + "end 1\r\n", "bad number"},
        {head + std::string("pool 7 ok 1 100 1 G\0", 21) + "\n" + file + "end 1\n", "bad character"},
    };
    for (const auto& c : cases) {
        try {
            parseRecord(c.text);
            ADD_FAILURE() << "read: " << c.text;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(c.why), std::string::npos) << error.what() << "\n" << c.text;
        }
    }
}

TEST(ScrubRecord, AJournalIsReadUpToItsFirstBadLine) {
    const Record r = sample();
    std::vector<std::string> lines;
    for (const auto& item : r.pools) lines.push_back(formatJournalLine(item.second));
    const std::string header = formatJournalHeader(5);
    std::string flipped = lines[1];
    flipped[20] = flipped[20] == '1' ? '2' : '1';
    const struct {
        std::string text;
        uint64_t generation;
        size_t applied;
        const char* problem;
    } cases[] = {
        {header + lines[0] + lines[1] + lines[2], 5, 3, ""},
        {header + lines[0] + lines[1] + lines[2], 6, 0, ""},  // the journal of an older record
        {header + lines[0] + lines[1] + lines[2].substr(0, lines[2].size() - 1), 5, 2, "torn"},
        {header + lines[0] + lines[1].substr(0, 30), 5, 1, "torn"},
        {header + lines[0] + flipped + lines[2], 5, 1, "checksum"},
        {header + lines[0] + "\n" + lines[2], 5, 1, "checksum"},
        {header, 5, 0, ""},
        {"", 5, 0, ""},
    };
    for (const auto& c : cases) {
        Record target;
        target.generation = c.generation;
        std::string problem;
        EXPECT_EQ(applyJournal(c.text, target, problem), c.applied) << c.text;
        EXPECT_EQ(target.pools.size(), c.applied);
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        if (*c.problem == '\0') {
            EXPECT_EQ(problem, "");
        }
    }
}

TEST(ScrubRecord, Durations) {
    const struct {
        const char* text;
        int64_t seconds;
    } good[] = {{"0", 0}, {"90", 90}, {"90s", 90}, {"15m", 900}, {"2h", 7200}, {"7d", 604800}, {"1h30m", 5400}, {"1d1s", 86401}};
    for (const auto& c : good) EXPECT_EQ(parseDuration(c.text), c.seconds) << c.text;
    for (const char* bad : {"", "-1", "+5", "1.5h", "h", "5w", "1h30", "30 m", "m5", "99999999999999999999", "106751991167301d"})
        EXPECT_THROW(parseDuration(bad), std::invalid_argument) << bad;
}

// A file system whose writes to one folder fail as on a full disk, from the
// moment it is told.
class FullDisk : public VaultFiles::FileSystemWrapper {
public:
    using FileSystemWrapper::FileSystemWrapper;
    bool full = false;

    class FailingFile : public VaultFiles::WritableFile {
    public:
        FailingFile(std::unique_ptr<VaultFiles::WritableFile> target, const bool& full) : target_(std::move(target)), full_(full) {}
        const std::string& path() const override { return target_->path(); }
        void append(const void* data, size_t size) override {
            check();
            target_->append(data, size);
        }
        void writeAt(uint64_t offset, const void* data, size_t size) override {
            check();
            target_->writeAt(offset, data, size);
        }
        void flush() override {
            check();
            target_->flush();
        }
        void resize(uint64_t size) override { target_->resize(size); }
        void sync() override {
            check();
            target_->sync();
        }
        void close() override { target_->close(); }

    private:
        void check() const {
            if (full_) throw VaultFiles::FileError("write", target_->path(), ENOSPC);
        }
        std::unique_ptr<VaultFiles::WritableFile> target_;
        const bool& full_;
    };

    std::unique_ptr<VaultFiles::WritableFile> openWritable(const std::string& path, VaultFiles::WriteMode mode,
                                                           VaultFiles::Links links, unsigned permissions) override {
        return std::unique_ptr<VaultFiles::WritableFile>(
            new FailingFile(target().openWritable(path, mode, links, permissions), full));
    }
};

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/scrub-record-XXXXXX";
        if (!::mkdtemp(name)) throw std::runtime_error("mkdtemp");
        path = name;
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

TEST(RecordStore, KeepsEveryAppendedPoolAndTheOldRecordOnAFullDisk) {
    TempDir dir;
    FullDisk files(VaultFiles::FileSystem::real());
    std::string warning;
    {
        RecordStore store(files, dir.path);
        Record r = store.load(warning);
        EXPECT_EQ(warning, "");
        EXPECT_TRUE(r.pools.empty());
        r.pass = 1;
        r.passComplete = false;
        store.writeRecord(r);
        store.appendPool(entry(1, "G1", Result::Ok, 1, 10));
        store.appendPool(entry(2, "G2", Result::Damaged, 1, 11));
        // Killed here: the record holds neither pool, the journal both.
    }
    RecordStore store(files, dir.path);
    Record r = store.load(warning);
    EXPECT_EQ(warning, "");
    ASSERT_EQ(r.pools.size(), 2u);
    EXPECT_EQ(r.pools.at(PoolKey(2, "G2")).result, Result::Damaged);
    EXPECT_EQ(r.generation, 1u);

    store.writeRecord(r);  // generation 2 holds both; the journal starts again
    std::string before;
    ASSERT_TRUE(VaultFiles::readWholeFile(store.recordPath(), 1 << 20, before));
    files.full = true;
    Record more = r;
    more.pools[PoolKey(3, "G3")] = entry(3, "G3", Result::Ok, 1, 12);
    EXPECT_THROW(store.writeRecord(more), VaultFiles::FileError);
    EXPECT_THROW(store.appendPool(entry(3, "G3", Result::Ok, 1, 12)), VaultFiles::FileError);
    std::string after;
    ASSERT_TRUE(VaultFiles::readWholeFile(store.recordPath(), 1 << 20, after));
    EXPECT_EQ(after, before);
    files.full = false;
    store.removeLeftovers();
    for (const std::string& name : VaultFiles::folderEntries(dir.path)) EXPECT_EQ(name.find(".tmp."), std::string::npos) << name;
    Record reread = RecordStore(files, dir.path).load(warning);
    EXPECT_EQ(reread.pools.size(), 2u);
    EXPECT_EQ(warning, "");

    VaultFiles::replaceFile(store.recordPath(), "vault-scrub-record 1\ngarbage\n");
    reread = RecordStore(files, dir.path).load(warning);
    EXPECT_TRUE(reread.pools.empty());
    EXPECT_NE(warning.find("is not used"), std::string::npos) << warning;
}

}  // namespace
