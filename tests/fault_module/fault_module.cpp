// Test-only extension module _tarvel_codec_faults: the shipped call path (src/module/) around a
// transform that fails on demand, so tests can drive fault containment. Built only with
// -DTC_TEST_HOOKS=ON and never installed; the shipped module has no such hook.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "codec/call_memory.hpp"
#include "codec/document.hpp"
#include "codec/fault.hpp"
#include "module/call.hpp"
#include "module/module_def.hpp"

namespace {

// A meeting point between two calls: one waits in its transform, with the lock released,
// until another call, made from Python in another thread, comes to signal it. The wait gives
// up after a long while so that a call that kept the lock fails the test instead of hanging it.
class Meeting {
 public:
  // True when a signal came while waiting.
  bool wait() {
    std::unique_lock lock(mutex_);
    waiting_ = true;
    changed_.notify_all();
    const bool signalled = changed_.wait_for(lock, kGiveUp, [&] { return signalled_; });
    waiting_ = signalled_ = false;
    return signalled;
  }
  // True when a call was waiting (or came to wait within the same while) and got the signal.
  bool signal() {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, kGiveUp, [&] { return waiting_; })) return false;
    signalled_ = true;
    changed_.notify_all();
    return true;
  }

 private:
  static constexpr std::chrono::seconds kGiveUp{120};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool waiting_ = false;
  bool signalled_ = false;
};

Meeting meeting;

// What the payload asks for, by prefix:
//   "fault:TEXT"   throws tc::InternalFault(TEXT)     "runtime:TEXT" throws std::runtime_error(TEXT)
//   "non-std"      throws an int (no text)            "bad-alloc"    throws std::bad_alloc
//   "error:TEXT"   rejects the payload with TEXT
//   "big:N"        a document of N bytes 'x' (written straight into the result bytes when large)
//   "write-fault:N" a document of N bytes whose writing throws tc::InternalFault("write")
//   "wait"         waits until a "signal" call comes, then gives the document "signalled"
//   "wait-in-write:N" a document of N bytes 'x' whose writing waits for a "signal" call first
//   "signal"       signals the waiting call and gives "signal" (or "nobody waited")
//   "size:D:JSON"  the codec's document of JSON, with its size misstated by D (+N or -N bytes)
//   anything else  returns the payload unchanged (so tests see exactly what the transform got)
class FaultyTransform final : public tc::module::Transform {
 public:
  bool prepare(std::string_view payload, std::string& error) override {
    const auto after = [&](std::string_view prefix) { return std::string(payload.substr(prefix.size())); };
    if (payload.starts_with("fault:")) throw tc::InternalFault(after("fault:"));
    if (payload.starts_with("runtime:")) throw std::runtime_error(after("runtime:"));
    if (payload == "non-std") throw 42;
    if (payload == "bad-alloc") throw std::bad_alloc();
    if (payload.starts_with("error:")) {
      error = after("error:");
      return false;
    }
    if (payload.starts_with("size:")) return prepare_misstated(payload.substr(5), error);
    if (payload == "wait") payload = meeting.wait() ? "signalled" : "no signal came";
    if (payload == "signal") payload = meeting.signal() ? "signal" : "nobody waited";
    if (payload.starts_with("big:") || payload.starts_with("write-fault:") || payload.starts_with("wait-in-write:")) {
      fail_in_write_ = payload.starts_with("write-fault:");
      wait_in_write_ = payload.starts_with("wait-in-write:");
      size_ = std::stoul(std::string(payload.substr(payload.find(':') + 1)));
      return true;
    }
    echo_ = std::string(payload);
    size_ = echo_.size();
    return true;
  }
  [[nodiscard]] std::size_t size() const override { return size_; }
  void write(char* out) const override {
    if (fail_in_write_) throw tc::InternalFault("write");
    if (wait_in_write_ && !meeting.wait()) throw tc::InternalFault("no signal came while writing");
    if (document_) {
      document_->write(out);
    } else if (echo_.empty()) {
      std::memset(out, 'x', size_);
    } else {
      std::memcpy(out, echo_.data(), size_);
    }
  }

 private:
  // "D:JSON": the codec prepares JSON as the shipped module does, and its layout then states
  // the document's size D bytes off. A small document is written into a block of the stated
  // size exactly (document_room stays nullptr), a large one into the result bytes.
  bool prepare_misstated(std::string_view request, std::string& error) {
    const std::size_t colon = request.find(':');
    const long long delta = std::stoll(std::string(request.substr(0, colon)));
    const std::string_view json = request.substr(colon + 1);
    tc::PreparedDocument& document = document_.emplace(json, memory_.emplace(json.size()).resource());
    if (!document.ok()) {
      error = document.rows.error;
      return false;
    }
    const std::size_t actual = document.size();
    const auto shift = static_cast<std::size_t>(delta < 0 ? -delta : delta);
    document.layout.output_size = delta >= 0 ? actual + shift : (shift >= actual ? 0 : actual - shift);
    size_ = document.layout.output_size;
    return true;
  }

  std::optional<tc::CallMemory> memory_;  // before the document, which it outlives
  std::optional<tc::PreparedDocument> document_;
  std::string echo_;
  std::size_t size_ = 0;
  bool fail_in_write_ = false;
  bool wait_in_write_ = false;
};

std::unique_ptr<tc::module::Transform> make_faulty_transform() { return std::make_unique<FaultyTransform>(); }

constexpr char kModuleName[] = "_tarvel_codec_faults";

PyObject* columnarize(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return tc::module::columnarize_call(args, nargs, kwnames, &make_faulty_transform);
}

using Module = tc::module::Definition<kModuleName, &columnarize>;

}  // namespace

PyMODINIT_FUNC PyInit__tarvel_codec_faults() { return Module::init(); }
