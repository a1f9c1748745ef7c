// Test-only extension module _tarvel_codec_faults: the shipped call path (src/module/) around a
// transform that fails on demand, so tests can drive fault containment. Built only with
// -DTC_TEST_HOOKS=ON and never installed; the shipped module has no such hook.
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "codec/fault.hpp"
#include "module/call.hpp"
#include "module/module_def.hpp"

namespace {

// What the payload asks for, by prefix:
//   "fault:TEXT"   throws tc::InternalFault(TEXT)     "runtime:TEXT" throws std::runtime_error(TEXT)
//   "non-std"      throws an int (no text)            "bad-alloc"    throws std::bad_alloc
//   "error:TEXT"   rejects the payload with TEXT      "sleep:MS"     sleeps MS ms, then echoes
//   "big:N"        a document of N bytes 'x' (written straight into the result bytes when large)
//   "write-fault:N" a document of N bytes whose writing throws tc::InternalFault("write")
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
    if (payload.starts_with("sleep:")) std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(after("sleep:"))));
    if (payload.starts_with("big:") || payload.starts_with("write-fault:")) {
      fail_in_write_ = payload.starts_with("write-fault:");
      size_ = std::stoul(after(fail_in_write_ ? "write-fault:" : "big:"));
      return true;
    }
    echo_ = std::string(payload);
    size_ = echo_.size();
    return true;
  }
  [[nodiscard]] std::size_t size() const override { return size_; }
  void write(char* out) const override {
    if (fail_in_write_) throw tc::InternalFault("write");
    if (echo_.empty()) {
      std::memset(out, 'x', size_);
    } else {
      std::memcpy(out, echo_.data(), size_);
    }
  }

 private:
  std::string echo_;
  std::size_t size_ = 0;
  bool fail_in_write_ = false;
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
