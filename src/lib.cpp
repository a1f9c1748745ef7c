// The library root: exports PyInit_tarvel_codec and joins the codec (src/codec/) to the
// Python boundary (src/module/).
#include <optional>

#include "codec/call_memory.hpp"
#include "codec/document.hpp"
#include "module/call.hpp"
#include "module/module_def.hpp"
#include "module/thread_spare.hpp"

namespace {

constexpr char kModuleName[] = "tarvel_codec";

// The codec as the call path runs it: the payload read and laid out first, the document
// written once its size is known.
class CodecTransform final : public tc::module::Transform {
 public:
  CodecTransform() = default;
  CodecTransform(const CodecTransform&) = delete;
  CodecTransform& operator=(const CodecTransform&) = delete;
  ~CodecTransform() override {
    if (room_ != nullptr) memory_->resource()->deallocate(room_, room_size_, 1);
  }
  // The object's memory is the thread's spare when it has one (see ThreadSpare). The class is
  // final, so every object of it has the one size the spare is made for.
  static void* operator new(std::size_t);
  static void operator delete(void* block) noexcept;

  bool prepare(std::string_view payload, std::string& error) override {
    const tc::CallMemory& memory = memory_.emplace(payload.size());
    tc::PreparedDocument& document = document_.emplace(payload, memory.resource());
    if (!document.ok()) error = std::move(document.rows.error);
    return document.ok();
  }
  [[nodiscard]] std::size_t size() const override { return document_->size(); }
  void write(char* out) const override { document_->write(out); }
  // A small document is written into the call's memory, with the tables (for a small payload,
  // the call's own block), and lives until the result bytes are made.
  char* document_room(std::size_t size) override {
    if (room_ != nullptr) memory_->resource()->deallocate(room_, room_size_, 1);
    room_ = nullptr;
    room_ = static_cast<char*>(memory_->resource()->allocate(size, 1));
    room_size_ = size;
    return room_;
  }

 private:
  std::optional<tc::CallMemory> memory_;  // before the document, which it outlives
  std::optional<tc::PreparedDocument> document_;
  char* room_ = nullptr;
  std::size_t room_size_ = 0;
};

using Spare = tc::module::ThreadSpare<sizeof(CodecTransform)>;
static_assert(alignof(CodecTransform) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
void* CodecTransform::operator new(std::size_t) { return Spare::take(); }
void CodecTransform::operator delete(void* block) noexcept { Spare::give_back(block); }

// Default-initialised: value-initialising would first zero the whole object, memory block
// included, on every call.
std::unique_ptr<tc::module::Transform> make_codec_transform() {
  return std::make_unique_for_overwrite<CodecTransform>();
}

// The fast-call entry of tarvel_codec.columnarize: the boundary's call path around the real
// transform. `self` is nullptr (METH_STATIC); `args` and `kwnames` are borrowed.
PyObject* columnarize(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return tc::module::columnarize_call(args, nargs, kwnames, &make_codec_transform);
}

using Module = tc::module::Definition<kModuleName, &columnarize>;

}  // namespace

// The library's only exported symbol: the definition record for multi-phase initialisation.
PyMODINIT_FUNC PyInit_tarvel_codec() { return Module::init(); }
