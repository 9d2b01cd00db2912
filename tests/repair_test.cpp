#include "repair/repair.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "app/run.hpp"
#include "decode/packets/packet.hpp"
#include "decode_helpers.hpp"

using namespace asftest;
namespace decode = asfinspect::decode;
namespace repair = asfinspect::repair;
namespace fs = std::filesystem;

namespace {

// A directory of its own for each test, removed at its end.
class Dir {
  public:
    Dir() {
        char name[] = "/tmp/asfinspect-repair-XXXXXX";
        if (::mkdtemp(name) == nullptr)
            std::abort();
        path_ = name;
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    ~Dir() { fs::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name, const Bytes& bytes = {}) const {
        const std::string p = path_ + "/" + name;
        if (!bytes.empty())
            std::ofstream(p, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(path_), fs::directory_iterator{}));
    }

  private:
    std::string path_;
};

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The whole media objects of a file, each as its stream, number, time and
// bytes; and whether the file has an index.
class WholeObjects final : public decode::View {
  public:
    explicit WholeObjects(asfinspect::io::FileReader& file) : file_(file) {}

    bool wants_fields() const override { return false; }
    void packet(const decode::Packet& p) override {
        for (const decode::Payload& payload : p.payloads) {
            if (payload.stage != decode::Payload::Stage::whole || payload.compressed ||
                !payload.has_object_fields) {
                continue;
            }
            const std::int64_t end = std::min(payload.data_end(), p.limit);
            pending_[{payload.stream, payload.media_object_number}] +=
                bytes_at(payload.data_offset, end - payload.data_offset);
        }
    }
    void media_object(const decode::MediaObject& m) override {
        const auto key = std::make_pair(m.stream, std::uint64_t{m.number});
        const auto it = pending_.find(key);
        const std::string bytes =
            it != pending_.end() ? it->second : bytes_at(m.offset, std::int64_t{m.size});
        if (it != pending_.end())
            pending_.erase(it);
        if (m.whole)
            objects.insert(std::to_string(m.stream) + "/" + std::to_string(m.number) + "@" +
                           std::to_string(m.presentation_time) + ":" + bytes);
    }
    void end(const decode::Part& part) override {
        if (part.kind == decode::Part::Kind::file && part.summary != nullptr)
            indexed = !part.summary->facts->indexes.kept.empty();
    }

    std::multiset<std::string> objects;
    bool indexed = false;

  private:
    std::string bytes_at(std::int64_t offset, std::int64_t n) {
        std::string s(static_cast<std::size_t>(std::max<std::int64_t>(n, 0)), '\0');
        file_.read_at(offset, std::span(reinterpret_cast<std::uint8_t*>(s.data()), s.size()));
        return s;
    }

    asfinspect::io::FileReader& file_;
    std::map<std::pair<std::uint8_t, std::uint64_t>, std::string> pending_;
};

WholeObjects whole_objects(asfinspect::io::FileReader& reader) {
    WholeObjects view(reader);
    decode::DiscardFindings discard;
    decode::decode_file(reader, view, discard, "test.asf");
    return view;
}

struct Result {
    repair::Outcome outcome = repair::Outcome::failure;
    std::string said;
    std::string err;
    Bytes out;
    bool out_exists = false;
};

Result run_repair(const Dir& dir, const Bytes& file, const Bytes& reference = {},
                  repair::TestHooks hooks = {}) {
    repair::Request request;
    request.file = dir.file("in.asf", file);
    request.out = dir.file("out.asf");
    if (!reference.empty())
        request.reference = dir.file("good.asf", reference);
    auto out = asfinspect::io::Output::memory();
    auto err = asfinspect::io::Output::memory();
    Result r;
    r.outcome = repair::repair(request, out, err, hooks);
    r.said = out.text_so_far();
    r.err = err.text_so_far();
    r.out_exists = fs::exists(request.out);
    if (r.out_exists)
        r.out = read_file(request.out);
    return r;
}

// The packet header of FileSpec's packets (multiple payloads, a byte of
// padding) around `payloads`, `size` bytes in all.
Bytes packet_of(std::initializer_list<Bytes> payloads, std::uint32_t send_time,
                std::size_t size = 256) {
    Bytes body;
    for (const Bytes& p : payloads)
        put(body, p);
    Bytes b{0x82, 0x00, 0x00, 0x09, 0x5d, static_cast<std::uint8_t>(size - 13 - body.size())};
    put32(b, send_time);
    put16(b, 0);
    put8(b, 0x80 | payloads.size());
    put(b, body);
    return padded(b, size);
}

// A packet of one payload, no padding and no error correction (its first
// byte the Length Type Flags, 0: no Padding Length, no Payload Length): a
// fragment at `offset` into a video media object of `size` bytes that fills
// the packet, 233 bytes.
Bytes single_payload_packet(std::uint32_t offset, std::uint32_t size, std::uint32_t send_time) {
    Bytes b{0x00, 0x5d};
    put32(b, send_time);
    put16(b, 0);
    put8(b, 0x82);  // stream 2, a key frame
    put8(b, 0);
    put32(b, offset);
    put8(b, 8);
    put32(b, size);
    put32(b, 1000);
    return padded(b, 256, 0xee);
}

std::size_t data_offset(const Bytes& file) {
    const auto& g = asfinspect::asf::guids::kDataObject.bytes;
    return static_cast<std::size_t>(std::search(file.begin(), file.end(), g.begin(), g.end()) -
                                    file.begin());
}

struct Damage {
    std::string name;
    Bytes intact;
    Bytes damaged;
    Bytes reference;
    std::size_t kept = 0;  // whole media objects the repaired file keeps at least
};

std::vector<Damage> damages() {
    std::vector<Damage> all;
    const Bytes intact = build(FileSpec{});
    const std::size_t first_packet = data_offset(intact) + 50;
    const auto add = [&](std::string name, Bytes damaged, std::size_t kept, Bytes reference = {},
                         Bytes base = {}) {
        all.push_back({std::move(name), base.empty() ? intact : base, std::move(damaged),
                       std::move(reference), kept});
    };
    add("cut_short", Bytes(intact.begin(), intact.end() - 100), 2);
    add("media_object_left_partial", Bytes(intact.begin(), intact.begin() + first_packet + 300), 1);
    Bytes noise = intact;
    for (std::size_t i = 0; i < 256; ++i)
        noise[first_packet + 256 + i] = static_cast<std::uint8_t>(0xfb ^ (i * 37));
    add("packet_of_noise", noise, 3);
    Bytes first_lost = intact;
    for (std::size_t i = 0; i < 256; ++i)
        first_lost[first_packet + i] = static_cast<std::uint8_t>(0xfb ^ (i * 37));
    add("media_object_whose_first_fragments_are_lost", first_lost, 2);
    FileSpec wrong_index;
    Bytes index(16, 0xf1);
    put64(index, 10'000'000);
    put32(index, 1);
    put32(index, 1);
    put32(index, 99);  // past the last packet
    put16(index, 1);
    wrong_index.trailing = object(asfinspect::asf::guids::kSimpleIndexObject, index);
    add("index_wrong", build(wrong_index), 4);
    // An Index Object by its Index Parameters, one entry pointing past the end.
    FileSpec indexed;
    Bytes parameters;
    put32(parameters, 1000);
    put16(parameters, 1);
    put16(parameters, 2);  // stream 2
    put16(parameters, 3);  // Nearest Past Cleanpoint
    indexed.header_extension_data =
        object(registry_guid("D6E229DF-35DA-11D1-9034-00A0C90349BE"), parameters);
    Bytes index_object;
    put32(index_object, 1000);
    put16(index_object, 1);
    put32(index_object, 1);  // one block
    put16(index_object, 2);
    put16(index_object, 3);
    put32(index_object, 1);  // one entry
    put64(index_object, 0);
    put32(index_object, 256 * 40);
    indexed.trailing = object(registry_guid("D6E229D3-35DA-11D1-9034-00A0C90349BE"), index_object);
    add("index_object_wrong", build(indexed), 4);
    add("zeros_after_the_last_packet", cat({intact, Bytes(4096, 0)}), 4);
    FileSpec stale;
    stale.file_size = 999'999;
    stale.packets_count = 9;
    add("stale_counts", build(stale), 4);
    Bytes headless = intact;
    std::fill(headless.begin(), headless.begin() + static_cast<std::ptrdiff_t>(data_offset(intact)),
              0);
    add("header_lost", headless, 4, intact);
    // A compressed payload beside a fragment of a media object whose rest
    // is lost, and a packet of that one fragment alone and no padding, which
    // becomes a packet of padding with a Padding Length of its own.
    FileSpec mixed;
    mixed.raw_packets = cat({
        packet_of(
            {grouped_payload(1, 0, 1000, {10, 12}), spec_payload({2, true, 0, 0, 500, 1000, 150})},
            0),
        single_payload_packet(150, 500, 100),
        Bytes(256, 0xfb),
        packet_of({spec_payload({1, true, 2, 0, 20, 1100, 20}),
                   spec_payload({2, true, 1, 0, 100, 1100, 100})},
                  200),
    });
    Bytes mixed_intact = build(mixed);
    add("partial_beside_compressed_and_single_payloads", mixed_intact, 4, {}, mixed_intact);
    // A stray fragment of stream 1 in packet 1 makes it rewritten before the
    // video object of packets 0-2, with a gap, is dropped from all three.
    FileSpec stray;
    stray.raw_packets = cat({
        packet_of({spec_payload({1, true, 0, 0, 20, 1000, 20}),
                   spec_payload({2, true, 0, 0, 300, 1000, 100})},
                  0),
        packet_of({spec_payload({2, true, 0, 100, 300, 1000, 100}),
                   spec_payload({1, true, 5, 10, 30, 1050, 20})},
                  100),
        packet_of({spec_payload({2, true, 0, 250, 300, 1000, 50}),
                   spec_payload({1, true, 1, 0, 20, 1100, 20})},
                  200),
        packet_of({spec_payload({1, true, 2, 0, 20, 1200, 20}),
                   spec_payload({2, true, 1, 0, 100, 1200, 100})},
                  300),
    });
    const Bytes stray_file = build(stray);
    add("stray_fragment_inside_a_partial_media_object", stray_file, 4, {}, stray_file);
    return all;
}

TEST(Repair, mends_each_damage) {
    for (const Damage& d : damages()) {
        SCOPED_TRACE(d.name);
        Dir dir;
        const Result r = run_repair(dir, d.damaged, d.reference);
        ASSERT_EQ(r.outcome, repair::Outcome::repaired) << r.said << r.err;
        EXPECT_EQ(severity_codes_of(r.out).find("error:"), std::string::npos) << check_of(r.out);
        asfinspect::io::FileReader intact_reader(d.intact);
        asfinspect::io::FileReader out_reader(r.out);
        const WholeObjects before = whole_objects(intact_reader);
        const WholeObjects after = whole_objects(out_reader);
        EXPECT_GE(after.objects.size(), d.kept);
        for (const std::string& o : after.objects)
            EXPECT_EQ(before.objects.count(o), 1u) << "an object the file doesn't hold";
        EXPECT_TRUE(after.indexed);
        if (d.name == "media_object_whose_first_fragments_are_lost") {
            EXPECT_NE(r.said.find("whose earlier fragments are lost"), std::string::npos) << r.said;
        }
        if (d.name == "stray_fragment_inside_a_partial_media_object") {
            EXPECT_NE(r.said.find("packets 1 kept, 3 rewritten,"), std::string::npos) << r.said;
        }
        if (d.name == "index_object_wrong") {
            EXPECT_NE(tree_of(r.out).find("ASF_Index_Object"), std::string::npos);
        }
    }
}

TEST(Repair, refuses_and_fails_leaving_nothing_behind) {
    const Bytes intact = build(FileSpec{});
    const Bytes cut(intact.begin(), intact.end() - 100);
    {
        SCOPED_TRACE("a full file system");
        Dir dir;
        repair::TestHooks hooks;
        hooks.write_limit = 300;
        const Result r = run_repair(dir, cut, {}, hooks);
        EXPECT_EQ(r.outcome, repair::Outcome::failure);
        EXPECT_NE(r.err.find("No space left"), std::string::npos) << r.err;
        EXPECT_EQ(dir.entries(), 1u);  // FILE alone
    }
    {
        SCOPED_TRACE("an error that repair doesn't mend: the repaired file doesn't prove whole");
        Dir dir;
        FileSpec spec;
        spec.reserved2 = 3;
        const Bytes bad = build(spec);
        const Result r = run_repair(dir, Bytes(bad.begin(), bad.end() - 100));
        EXPECT_EQ(r.outcome, repair::Outcome::cannot_mend);
        EXPECT_NE(r.err.find("reserved-value"), std::string::npos) << r.err;
        EXPECT_EQ(dir.entries(), 1u);
    }
    {
        SCOPED_TRACE("the header lost, and no reference");
        Dir dir;
        Bytes headless = intact;
        std::fill(headless.begin(), headless.begin() + 100, 0);
        const Result r = run_repair(dir, headless);
        EXPECT_EQ(r.outcome, repair::Outcome::cannot_mend);
        EXPECT_NE(r.err.find("--reference"), std::string::npos);
        EXPECT_FALSE(r.out_exists);
    }
    {
        SCOPED_TRACE("the reference's packet size doesn't fit");
        Dir dir;
        FileSpec other;
        other.packet_size = 200;
        Bytes headless = intact;
        std::fill(headless.begin(), headless.begin() + 100, 0);
        const Result r = run_repair(dir, headless, build(other));
        EXPECT_EQ(r.outcome, repair::Outcome::cannot_mend);
        EXPECT_NE(r.err.find("packet size"), std::string::npos) << r.err;
        EXPECT_FALSE(r.out_exists);
    }
}

TEST(Repair, command_line_promises) {
    Dir dir;
    const Bytes intact = build(FileSpec{});
    const std::string file = dir.file("in.asf", Bytes(intact.begin(), intact.end() - 100));
    const std::string out = dir.file("out.asf");
    const std::string fixture =
        std::string(ASFINSPECT_SOURCE_DIR) + "/tests/data/wmv1-wmav1-p1000.asf";
    const auto run = [](std::vector<std::string> args) {
        std::vector<const char*> argv{"asfinspect"};
        for (const auto& a : args)
            argv.push_back(a.c_str());
        auto o = asfinspect::io::Output::memory();
        auto e = asfinspect::io::Output::memory();
        const int status = asfinspect::app::run(static_cast<int>(argv.size()), argv.data(), o, e);
        return std::make_pair(status, o.text_so_far() + e.text_so_far());
    };
    EXPECT_EQ(run({"--repair", file}).first, 2);  // no -o
    const std::string link = dir.path() + "/same.asf";
    ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
    EXPECT_EQ(run({"--repair", "-o", link, file}).first, 2);  // OUT is FILE by another name
    EXPECT_EQ(run({"--repair", "--dry-run", file}).first, 0);
    EXPECT_FALSE(fs::exists(out));
    const auto written = run({"--repair", "--json", "-o", out, file});
    EXPECT_EQ(written.first, 0) << written.second;
    EXPECT_NE(written.second.find("\"result\":\"repaired\""), std::string::npos);
    EXPECT_EQ(run({"--repair", "-o", out, file}).first, 2);  // OUT exists
    EXPECT_EQ(run({"--repair", "--force", "-o", out, file}).first, 0);
    const auto intact_run = run({"--repair", "-o", dir.file("other.asf"), fixture});
    EXPECT_EQ(intact_run.first, 0);
    EXPECT_NE(intact_run.second.find("nothing to repair"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("other.asf")));
}

}  // namespace
