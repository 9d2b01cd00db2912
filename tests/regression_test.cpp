// Inputs found by fuzzing. The committed corpus in fuzz/corpus holds the
// inputs that reached the rarer paths of the dump and the decoder (one,
// a7e43373..., once walked the sub-payloads of a 3.5 GB packet past the end of
// a 418-byte file); replayed here they run under the sanitizers of the test
// build on every change.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../fuzz/output_bound.hpp"
#include "asf_writer.hpp"
#include "decode_helpers.hpp"
#include "json_check.hpp"

using namespace asftest;
using asfinspect::fuzz::output_bound;

namespace {

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The dump of `bytes` read through a file descriptor instead of from memory.
std::string dump_through_file(const Bytes& bytes) {
    TempFile file(bytes);
    const int fd = open(file.path().c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    asfinspect::io::FileReader reader(fd, static_cast<std::int64_t>(bytes.size()));
    auto out = asfinspect::io::Output::memory();
    asfinspect::dump::dump_file(reader, out);
    close(fd);
    return out.text_so_far();
}

}  // namespace

TEST(FuzzCorpus, EveryInputDumpsWithinTheBoundAlikeFromMemoryAndFile) {
    const std::filesystem::path dir = std::filesystem::path(ASFINSPECT_SOURCE_DIR) / "fuzz/corpus";
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().filename().string());
        const Bytes bytes = read_file(entry.path());
        const std::string text = dump(bytes);
        EXPECT_LE(text.size(), output_bound(bytes.size()));
        EXPECT_EQ(dump_through_file(bytes), text);
        // The complete decode of each input ends, valid and within the bound.
        const std::string json = json_of(bytes);
        EXPECT_TRUE(valid_json(json));
        EXPECT_LE(json.size(), output_bound(bytes.size()));
        EXPECT_LE(tree_of(bytes).size(), output_bound(bytes.size()));
        ++seen;
    }
    EXPECT_GT(seen, 0);
}
