#include "repair/repair.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "answers/measures.hpp"
#include "answers/seconds.hpp"
#include "decode/decoder.hpp"
#include "decode/text.hpp"
#include "io/error_text.hpp"
#include "io/file_reader.hpp"
#include "io/json_writer.hpp"
#include "repair/plan.hpp"
#include "repair/writer.hpp"

namespace asfinspect::repair {

namespace {

using decode::Hex;
using decode::message;

// What the run says: each change as the plan finds it, then the totals and
// the result; as lines, or as one JSON object.
class Report final : public ChangeSink {
  public:
    Report(io::Output& out, io::Output& err, const Request& request)
        : out_(out), err_(err), request_(request), json_(out) {
        if (!request.json)
            return;
        json_.begin_object().member_string("file", request.file);
        if (request.out.empty()) {
            json_.member_null("out");
        } else {
            json_.member_string("out", request.out);
        }
        json_.member_bool("dry_run", request.dry_run).key("changes").begin_array();
    }

    void change(const Change& c) override {
        if (!request_.json) {
            out_.text("0x").hex_number(static_cast<std::uint64_t>(c.offset)).text(": [");
            out_.text(c.code);
            out_.text("] ").text(c.what).text(": ").text(c.before).text(" -> ").text(c.after);
            out_.end_line();
            return;
        }
        json_.begin_object().member_signed("offset", c.offset).member_string("code", c.code);
        json_.member_string("what", c.what).member_string("before", c.before);
        json_.member_string("after", c.after).end_object();
    }

    // The end of the run: what it came to, with the totals when there are.
    Outcome finish(Outcome outcome, std::string_view reason, const Plan* plan) {
        if (request_.json) {
            json_.end_array();
            if (plan != nullptr)
                json_totals(*plan);
            json_.member_string("result", result_name(outcome));
            if (!reason.empty())
                json_.member_string("reason", reason);
            json_.end_object().end_document();
        } else if (outcome == Outcome::nothing_to_repair) {
            out_.text("nothing to repair").end_line();
        } else if (outcome == Outcome::repaired || outcome == Outcome::dry_run) {
            out_.text(outcome == Outcome::dry_run ? "would repair: " : "repaired: ");
            text_totals(*plan);
        }
        out_.flush();
        if (!reason.empty() && outcome != Outcome::nothing_to_repair) {
            err_.text("asfinspect: ").text(request_.file).text(": ");
            err_.text(outcome == Outcome::failure ? "repair failed: " : "not repaired: ");
            err_.text(reason).end_line();
            err_.flush();
        }
        return outcome;
    }

  private:
    static std::string_view result_name(Outcome o) {
        switch (o) {
            case Outcome::repaired:
                return "repaired";
            case Outcome::nothing_to_repair:
                return "nothing to repair";
            case Outcome::dry_run:
                return "dry run";
            case Outcome::failure:
                return "failed";
            case Outcome::usage:
            case Outcome::cannot_mend:
                break;
        }
        return "not repaired";
    }

    void text_totals(const Plan& plan) {
        const Totals& t = plan.totals;
        out_.text("packets ").number(t.packets_kept).text(" kept, ");
        out_.number(t.packets_rewritten).text(" rewritten, ");
        out_.number(t.packets_replaced).text(" replaced, ");
        out_.number(t.packets_dropped).text(" dropped; media objects ");
        out_.number(t.objects_kept).text(" kept, ").number(t.objects_dropped).text(" dropped");
        const char* separator = " (";
        for (std::size_t s = 0; s < t.dropped_by_stream.size(); ++s) {
            if (t.dropped_by_stream[s] == 0)
                continue;
            out_.text(separator).text("stream ").number(s).text(": ");
            out_.number(t.dropped_by_stream[s]).text(" from ");
            out_.text(answers::seconds_for_people(
                          answers::ticks_of_ms(player_ms(plan, t.first_dropped_time[s])))
                          .view());
            separator = ", ";
        }
        if (t.objects_dropped != 0)
            out_.text(")");
        out_.text("; indexes rebuilt ").number(t.indexes_rebuilt);
        out_.end_line();
    }

    void json_totals(const Plan& plan) {
        const Totals& t = plan.totals;
        json_.key("packets").begin_object().member_number("kept", t.packets_kept);
        json_.member_number("rewritten", t.packets_rewritten);
        json_.member_number("replaced", t.packets_replaced);
        json_.member_number("dropped", t.packets_dropped).end_object();
        json_.key("media_objects").begin_object().member_number("kept", t.objects_kept);
        json_.member_number("dropped", t.objects_dropped).key("dropped_by_stream").begin_array();
        for (std::size_t s = 0; s < t.dropped_by_stream.size(); ++s) {
            if (t.dropped_by_stream[s] == 0)
                continue;
            json_.begin_object().member_number("stream", s);
            json_.member_number("dropped", t.dropped_by_stream[s]);
            json_.member_raw(
                "from",
                answers::exact_seconds_of_ms(player_ms(plan, t.first_dropped_time[s])).view());
            json_.end_object();
        }
        json_.end_array().end_object().member_number("indexes_rebuilt", t.indexes_rebuilt);
    }

    // A time as ASF stores it, as a player shows it.
    static std::int64_t player_ms(const Plan& plan, std::uint32_t stored) {
        return answers::player_time(stored, plan.facts.file_properties.preroll);
    }

    io::Output& out_;
    io::Output& err_;
    const Request& request_;
    io::JsonWriter json_;
};

// A file opened for reading, closed at the end of its scope.
struct Opened {
    int fd = -1;
    struct stat st {};
    int error = 0;

    explicit Opened(const std::string& path) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            error = errno;
            return;
        }
        if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
            error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    ~Opened() {
        if (fd >= 0)
            ::close(fd);
    }
    bool ok() const { return fd >= 0 && error == 0; }
    std::int64_t size() const { return static_cast<std::int64_t>(st.st_size); }
};

// The temporary file beside OUT that becomes OUT; removed unless kept.
class TempOut {
  public:
    explicit TempOut(const std::string& out) {
        const auto slash = out.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : out.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? out : out.substr(slash + 1);
        dir_ = dir;
        path_ = (slash == std::string::npos ? std::string() : dir) + "." + base + ".repair-XXXXXX";
        fd_ = ::mkstemp(path_.data());
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        // As a new file would be made: 0666 less the umask.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    TempOut(const TempOut&) = delete;
    TempOut& operator=(const TempOut&) = delete;
    ~TempOut() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!kept_ && error_ == 0)
            ::unlink(path_.c_str());
    }

    int fd() const { return fd_; }
    int error() const { return error_; }
    // Synced, then renamed over `out`, and the directory synced; false with
    // errno on failure.
    bool sync() { return ::fsync(fd_) == 0; }
    bool rename_to(const std::string& out) {
        if (::rename(path_.c_str(), out.c_str()) != 0)
            return false;
        kept_ = true;
        const int dir = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

  private:
    std::string dir_;
    std::string path_;
    int fd_ = -1;
    int error_ = 0;
    bool kept_ = false;
};

// The damage the plan can't mend, or "".
std::string beyond_repair(const Plan& plan, bool with_reference) {
    if (plan.too_many_objects)
        return message("the file has more than ", kMaxTopObjects, " top-level objects");
    if (!plan.header_usable()) {
        return with_reference
                   ? "the reference's header and the file's packets don't make a file"
                   : "its header is lost (no Header Object with the File Properties and a Data "
                     "Object at the start); give --reference=GOOD, an intact file made with the "
                     "same settings, to lend its header";
    }
    if (plan.packets_out == 0)
        return "no packet to be found";
    return {};
}

// What reading OUT back found against the plan, or "" when it proves whole.
std::string disproof(const Plan& plan, const Plan& back, const FirstChange& needs) {
    if (back.errors != 0)
        return message("the repaired file still has ", back.errors,
                       back.errors == 1 ? " error" : " errors", ", the first: ", back.first_error);
    if (!back.nothing_to_do())
        return message("the repaired file would still need repairs: ", needs.first());
    if (!(back.kept == plan.kept)) {
        return message("the repaired file holds ", back.kept.objects, " whole media objects of ",
                       back.kept.bytes, " bytes, not the ", plan.kept.objects, " of ",
                       plan.kept.bytes, " bytes that the file has whole, byte for byte");
    }
    return {};
}

// The decoder's Data Object in a file whose header is lost, by its GUID.
std::int64_t data_object_of(io::FileReader& file) {
    return decode::find_top_level_object(file, asf::ObjectType::data, 0);
}

std::string reason_of(int error) {
    return error == 0 ? std::string("the file changed while it was read") : io::error_text(error);
}

}  // namespace

Outcome repair(const Request& request, io::Output& out, io::Output& err, const TestHooks& hooks) {
    const auto usage = [&](std::string_view why) {
        err.text("asfinspect: ").text(why).end_line();
        err.flush();
        return Outcome::usage;
    };
    if (request.out.empty() && !request.dry_run)
        return usage("--repair needs -o OUT, the file to write");
    Opened file(request.file);
    if (!request.out.empty()) {
        struct stat st {};
        if (::stat(request.out.c_str(), &st) == 0) {
            if (file.ok() && st.st_dev == file.st.st_dev && st.st_ino == file.st.st_ino)
                return usage("OUT is FILE itself: --repair never writes FILE; name another OUT");
            if (!request.force && !request.dry_run)
                return usage(message(request.out, ": exists; --force replaces it"));
        }
    }
    Report report(out, err, request);
    if (!file.ok())
        return report.finish(Outcome::failure, message("cannot open: ", reason_of(file.error)),
                             nullptr);
    io::FileReader plain(file.fd, file.size());
    auto plan = std::make_unique<Plan>();
    plan_repair(plain, *plan, report, request.file);
    if (plain.failed())
        return report.finish(Outcome::failure, message("read error: ", reason_of(plain.error())),
                             nullptr);
    io::FileReader* in = &plain;
    std::unique_ptr<Opened> good;
    std::unique_ptr<io::FileReader> spliced;
    // The reference lends its header only to a file whose own is lost.
    const bool lend = !request.reference.empty() && (plan->unreadable || !plan->header_usable());
    if (lend) {
        good = std::make_unique<Opened>(request.reference);
        if (!good->ok())
            return report.finish(Outcome::failure,
                                 message("cannot open the reference '", request.reference,
                                         "': ", reason_of(good->error)),
                                 nullptr);
        io::FileReader good_reader(good->fd, good->size());
        Plan good_plan;
        FirstChange quiet;
        plan_repair(good_reader, good_plan, quiet, request.reference);
        if (good_reader.failed() || !good_plan.header_usable())
            return report.finish(
                Outcome::cannot_mend,
                message("the reference '", request.reference, "' has no usable header to lend"),
                nullptr);
        const std::int64_t data = data_object_of(plain);
        if (data < 0)
            return report.finish(Outcome::cannot_mend,
                                 "its header is lost and no Data Object is to be found", nullptr);
        const std::int64_t header = good_plan.objects.front().size;
        spliced = std::make_unique<io::FileReader>(good->fd, header, file.fd, data, file.size());
        in = spliced.get();
        plan = std::make_unique<Plan>();
        report.change({0, changes::kHeader,
                       message("Header Object, lost (", data, " bytes before the Data Object)"),
                       "lost", message("the reference's, ", header, " bytes")});
        plan_repair(*in, *plan, report, request.file, true);
        ++plan->totals.changes;  // the header lent
        if (in->failed())
            return report.finish(Outcome::failure,
                                 message("reading it failed: ", reason_of(in->error())), nullptr);
        const std::uint32_t size = plan->facts.data.packet_size;
        if (plan->packets_read == 0 || plan->totals.packets_replaced * 2 > plan->packets_read)
            return report.finish(Outcome::cannot_mend,
                                 message("the reference's packet size of ", size,
                                         " bytes doesn't fit the file's packets"),
                                 nullptr);
        if (plan->undeclared_payloads != 0)
            return report.finish(Outcome::cannot_mend,
                                 "the file's packets use streams that the reference doesn't "
                                 "declare",
                                 nullptr);
    }
    if (plan->unreadable && !plan->header_usable() && request.reference.empty())
        return report.finish(Outcome::cannot_mend, beyond_repair(*plan, false), nullptr);
    if (const std::string why = beyond_repair(*plan, spliced != nullptr); !why.empty())
        return report.finish(Outcome::cannot_mend, why, nullptr);
    if (plan->nothing_to_do())
        return report.finish(Outcome::nothing_to_repair, "", plan.get());
    if (request.dry_run)
        return report.finish(Outcome::dry_run, "", plan.get());

    TempOut temp(request.out);
    if (temp.fd() < 0)
        return report.finish(Outcome::failure,
                             message("cannot make a file beside '", request.out,
                                     "': ", io::error_text(temp.error())),
                             plan.get());
    std::uint64_t written = 0;
    {
        // The sink's buffer goes before the file is read back.
        ByteSink sink(temp.fd(), hooks.write_limit);
        write_repaired(*in, *plan, sink);
        if (in->failed())
            return report.finish(Outcome::failure,
                                 message("reading it failed: ", reason_of(in->error())),
                                 plan.get());
        if (sink.failed() || !temp.sync())
            return report.finish(Outcome::failure,
                                 message("writing '", request.out, "' failed: ",
                                         io::error_text(sink.failed() ? sink.error() : errno)),
                                 plan.get());
        written = sink.written();
    }
    in->release();
    plain.release();
    {
        io::FileReader back_reader(temp.fd(), static_cast<std::int64_t>(written));
        Plan back;
        FirstChange quiet;
        plan_repair(back_reader, back, quiet, request.out);
        if (back_reader.failed())
            return report.finish(Outcome::failure,
                                 message("reading '", request.out,
                                         "' back failed: ", reason_of(back_reader.error())),
                                 plan.get());
        if (const std::string why = disproof(*plan, back, quiet); !why.empty())
            return report.finish(Outcome::cannot_mend, why, plan.get());
    }
    if (!temp.rename_to(request.out))
        return report.finish(
            Outcome::failure,
            message("cannot name the repaired file '", request.out, "': ", io::error_text(errno)),
            plan.get());
    return report.finish(Outcome::repaired, "", plan.get());
}

}  // namespace asfinspect::repair
