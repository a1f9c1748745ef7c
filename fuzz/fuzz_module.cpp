// Fuzz entry over the module as Python calls it: an embedded interpreter imports tarvel_codec
// (linked in, the shipped module root and call path) and calls tarvel_codec.columnarize. Each
// input chooses how the function is called and what size the document comes to, near the size
// where documents start to be written straight into the result bytes; the rest is the payload.
// Every call must answer as tc::columnarize_json does for the same bytes (the same document,
// or RuntimeError with its error text), or, for arguments the function refuses, with the exact
// exception the call rules give; and it must keep no reference to what it was given.
//
// Input: byte 0 the argument form (low 4 bits) and a min_rows value (next 2 bits); byte 1 the
// document size wanted (low 2 bits: as it comes, within 32 bytes of the threshold either way, or
// up to 32 KiB above it; the other 6 bits the offset); the payload after that.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "codec/document.hpp"
#include "module/python.hpp"

extern "C" PyObject* PyInit_tarvel_codec();

#ifndef TC_PYTHON_HOME
#error "TC_PYTHON_HOME: the prefix of the Python installation to embed"
#endif

namespace {

constexpr std::size_t kDirectWriteThreshold = 16 * 1024;  // as in the boundary's call path
constexpr std::string_view kPanic = "internal panic during columnarization: ";
// A row put first to bring the document to a chosen size: its key occurs in no other row, so
// its cell adds exactly its length to the document.
constexpr std::string_view kPadKey = R"({"\u0001pad":")";

// Reports a broken property, the texts cut short (the fuzzer saves the whole input), and stops.
[[noreturn]] void fail(std::string_view what, std::string_view payload) {
  constexpr std::size_t kShown = 300;
  std::fprintf(stderr, "fuzz_module: %.*s%s\n  payload (%zu bytes): %.*s\n",
               static_cast<int>(what.size() < kShown ? what.size() : kShown), what.data(), what.size() > kShown ? "..." : "",
               payload.size(), static_cast<int>(payload.size() < kShown ? payload.size() : kShown), payload.data());
  std::fflush(stderr);
  __builtin_trap();
}

PyObject* checked(PyObject* object, const char* what) {
  if (object == nullptr) {
    PyErr_Print();
    std::fprintf(stderr, "fuzz_module: %s failed\n", what);
    std::abort();
  }
  return object;
}

// The interpreter, started once, with the module's function and the objects calls are made with.
struct Interpreter {
  PyObject* columnarize = nullptr;
  PyObject* min_rows_values[4] = {};  // 0, 20, 2**63, 2**64 - 1: all accepted
  PyObject* too_large = nullptr;      // 2**64
  PyObject* negative = nullptr;       // -1
  PyObject* real = nullptr;           // 1.5
  PyObject* kw_payload = nullptr;     // ("payload",)
  PyObject* kw_min_rows = nullptr;    // ("min_rows",)
  PyObject* kw_min_rows_payload = nullptr;
  PyObject* kw_bogus = nullptr;       // ("bogus",)

  Interpreter() {
    PyPreConfig preconfig;
    PyPreConfig_InitIsolatedConfig(&preconfig);
    preconfig.allocator = PYMEM_ALLOCATOR_MALLOC;  // every object its own block, seen by ASan
    if (PyStatus status = Py_PreInitialize(&preconfig); PyStatus_Exception(status)) Py_ExitStatusException(status);
    if (PyImport_AppendInittab("tarvel_codec", &PyInit_tarvel_codec) != 0) std::abort();
    PyConfig config;
    PyConfig_InitIsolatedConfig(&config);
    config.install_signal_handlers = 0;  // libFuzzer's stay
    if (PyStatus status = PyConfig_SetBytesString(&config, &config.home, TC_PYTHON_HOME); PyStatus_Exception(status)) {
      Py_ExitStatusException(status);
    }
    if (PyStatus status = Py_InitializeFromConfig(&config); PyStatus_Exception(status)) Py_ExitStatusException(status);
    PyConfig_Clear(&config);
    PyObject* module = checked(PyImport_ImportModule("tarvel_codec"), "import tarvel_codec");
    columnarize = checked(PyObject_GetAttrString(module, "columnarize"), "tarvel_codec.columnarize");
    Py_DECREF(module);
    min_rows_values[0] = PyLong_FromLong(0);
    min_rows_values[1] = PyLong_FromLong(20);
    min_rows_values[2] = PyLong_FromUnsignedLongLong(uint64_t{1} << 63);
    min_rows_values[3] = PyLong_FromUnsignedLongLong(UINT64_MAX);
    PyObject* one = PyLong_FromLong(1);
    too_large = checked(PyNumber_Add(min_rows_values[3], one), "2**64");
    Py_DECREF(one);
    negative = PyLong_FromLong(-1);
    real = PyFloat_FromDouble(1.5);
    kw_payload = Py_BuildValue("(s)", "payload");
    kw_min_rows = Py_BuildValue("(s)", "min_rows");
    kw_min_rows_payload = Py_BuildValue("(ss)", "min_rows", "payload");
    kw_bogus = Py_BuildValue("(s)", "bogus");
  }
};

Interpreter& interpreter() {
  static Interpreter instance;
  return instance;
}

// What a call came to: the result bytes, or an exception's type, message and notes.
struct Answer {
  bool ok = false;
  std::string text;                // the document, or str() of the exception's one argument
  PyObject* type = nullptr;        // the exception type (borrowed; builtin types live on)
  std::string notes;               // the notes, joined by '\n'; "" when none
};

std::string utf8_of(PyObject* text) {
  Py_ssize_t size = 0;
  const char* bytes = PyUnicode_AsUTF8AndSize(text, &size);
  if (bytes == nullptr) {
    PyErr_Clear();
    return "<not text>";
  }
  return std::string(bytes, static_cast<std::size_t>(size));
}

Answer answer_of(PyObject* result) {
  Answer answer;
  if (result != nullptr) {
    if (!PyBytes_CheckExact(result)) fail("the result is not a bytes object", "");
    if (Py_REFCNT(result) != 1) fail("the result has another reference", "");
    // The bytes object's one byte of slack, its terminator, still zero: a large document is
    // written into the result bytes, where the sanitizer would not see a one-byte overrun.
    if (PyBytes_AS_STRING(result)[PyBytes_GET_SIZE(result)] != '\0') fail("a byte written past the result", "");
    answer.ok = true;
    answer.text.assign(PyBytes_AS_STRING(result), static_cast<std::size_t>(PyBytes_GET_SIZE(result)));
    Py_DECREF(result);
    return answer;
  }
  PyObject *type = nullptr, *exc = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &exc, &traceback);
  if (type == nullptr) fail("no result and no exception", "");
  PyErr_NormalizeException(&type, &exc, &traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  answer.type = reinterpret_cast<PyObject*>(Py_TYPE(exc));
  PyObject* args = PyObject_GetAttrString(exc, "args");
  if (args != nullptr && PyTuple_Check(args) && PyTuple_GET_SIZE(args) == 1 && PyUnicode_Check(PyTuple_GET_ITEM(args, 0))) {
    answer.text = utf8_of(PyTuple_GET_ITEM(args, 0));
  } else if (args != nullptr && PyTuple_Check(args) && PyTuple_GET_SIZE(args) == 0) {
    answer.text = "<no arguments>";
  } else {
    answer.text = "<other arguments>";
  }
  Py_XDECREF(args);
  if (PyObject_HasAttrString(exc, "__notes__")) {
    PyObject* notes = PyObject_GetAttrString(exc, "__notes__");
    for (Py_ssize_t i = 0; notes != nullptr && PyList_Check(notes) && i < PyList_GET_SIZE(notes); ++i) {
      if (i > 0) answer.notes += '\n';
      answer.notes += utf8_of(PyList_GET_ITEM(notes, i));
    }
    Py_XDECREF(notes);
  }
  Py_DECREF(exc);
  return answer;
}

// What tc::columnarize_json answers for the payload, as the module raises it.
Answer reference_answer(std::string_view payload) {
  Answer answer;
  try {
    tc::TransformResult result = tc::columnarize_json(payload);
    answer.ok = result.ok;
    answer.type = result.ok ? nullptr : PyExc_RuntimeError;
    answer.text = std::move(result.text);
  } catch (const std::bad_alloc&) {
    answer.type = PyExc_MemoryError;
    answer.text = "<no arguments>";
    return answer;
  } catch (const std::exception& fault) {
    answer.type = PyExc_RuntimeError;
    answer.text = std::string(kPanic) + fault.what();
  }
  if (!answer.ok) {
    // Raised as text decoded from UTF-8 with replacement, as the boundary does.
    PyObject* text = PyUnicode_DecodeUTF8(answer.text.data(), static_cast<Py_ssize_t>(answer.text.size()), "replace");
    answer.text = utf8_of(checked(text, "decoding an error text"));
    Py_DECREF(text);
  }
  return answer;
}

Answer refusal(PyObject* type, std::string text, std::string notes = "") {
  Answer answer;
  answer.type = type;
  answer.text = std::move(text);
  answer.notes = std::move(notes);
  return answer;
}

// `payload` with a first row that brings the document to `target` bytes, when it is an array
// whose document, padded by nothing, comes to fewer; otherwise `payload` unchanged.
std::string padded_to(std::string_view payload, std::size_t target) {
  const std::size_t open = payload.find_first_not_of(" \t\r\n");
  if (open == std::string_view::npos || payload[open] != '[') return std::string(payload);
  const std::size_t next = payload.find_first_not_of(" \t\r\n", open + 1);
  const bool empty = next != std::string_view::npos && payload[next] == ']';
  const auto with_pad = [&](std::size_t length) {
    std::string out(payload.substr(0, open + 1));
    out += kPadKey;
    out.append(length, 'x');
    out += empty ? "\"}" : "\"},";
    out += payload.substr(open + 1);
    return out;
  };
  std::string unpadded = with_pad(0);
  const Answer base = reference_answer(unpadded);
  if (!base.ok || base.text.size() >= target) return std::string(payload);
  return with_pad(target - base.text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Interpreter& py = interpreter();
  const std::uint8_t form_byte = size > 0 ? data[0] : 0;
  const std::uint8_t size_byte = size > 1 ? data[1] : 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + (size > 2 ? 2 : size), size > 2 ? size - 2 : 0);

  std::string payload(input);
  const int offset = (size_byte >> 2) - 32;  // -32 .. 31
  switch (size_byte & 3) {
    case 1: payload = padded_to(input, kDirectWriteThreshold + static_cast<std::size_t>(32 + offset) - 32); break;
    case 2: payload = padded_to(input, kDirectWriteThreshold + static_cast<std::size_t>(32 + offset) * 512); break;
    default: break;
  }

  PyObject* bytes = checked(PyBytes_FromStringAndSize(payload.data(), static_cast<Py_ssize_t>(payload.size())), "bytes");
  PyObject* min_rows = py.min_rows_values[(form_byte >> 4) & 3];
  const Py_ssize_t bytes_refs = Py_REFCNT(bytes), min_rows_refs = Py_REFCNT(min_rows);
  const std::string type_note = "while processing 'payload'", count_note = "while processing 'min_rows'";

  Answer expected = reference_answer(payload);
  PyObject* result = nullptr;
  PyObject* other = nullptr;  // an argument made for this call only
  switch (form_byte & 15) {
    case 0: {
      PyObject* args[] = {bytes};
      result = PyObject_Vectorcall(py.columnarize, args, 1, nullptr);
      break;
    }
    case 1: {
      PyObject* args[] = {bytes, min_rows};
      result = PyObject_Vectorcall(py.columnarize, args, 2, nullptr);
      break;
    }
    case 2: {
      PyObject* args[] = {bytes};
      result = PyObject_Vectorcall(py.columnarize, args, 0, py.kw_payload);
      break;
    }
    case 3: {
      PyObject* args[] = {min_rows, bytes};
      result = PyObject_Vectorcall(py.columnarize, args, 0, py.kw_min_rows_payload);
      break;
    }
    case 4: {
      PyObject* args[] = {bytes, min_rows};
      result = PyObject_Vectorcall(py.columnarize, args, 1, py.kw_min_rows);
      break;
    }
    case 5: {
      PyObject* args[] = {bytes, py.too_large};
      result = PyObject_Vectorcall(py.columnarize, args, 1, py.kw_min_rows);
      expected = refusal(PyExc_OverflowError, "int too big to convert", count_note);
      break;
    }
    case 6: {
      PyObject* args[] = {bytes, py.negative};
      result = PyObject_Vectorcall(py.columnarize, args, 2, nullptr);
      expected = refusal(PyExc_OverflowError, "can't convert negative int to unsigned", count_note);
      break;
    }
    case 7: {
      PyObject* args[] = {bytes, py.real};
      result = PyObject_Vectorcall(py.columnarize, args, 2, nullptr);
      expected = refusal(PyExc_TypeError, "'float' object cannot be interpreted as an integer", count_note);
      break;
    }
    case 8: {
      other = checked(PyByteArray_FromStringAndSize(payload.data(), static_cast<Py_ssize_t>(payload.size())), "bytearray");
      PyObject* args[] = {other};
      result = PyObject_Vectorcall(py.columnarize, args, 1, nullptr);
      expected = refusal(PyExc_TypeError, "'bytearray' object is not an instance of 'bytes'", type_note);
      break;
    }
    case 9: {
      other = checked(PyUnicode_DecodeLatin1(payload.data(), static_cast<Py_ssize_t>(payload.size()), nullptr), "str");
      PyObject* args[] = {min_rows, other};
      result = PyObject_Vectorcall(py.columnarize, args, 0, py.kw_min_rows_payload);
      expected = refusal(PyExc_TypeError, "'str' object is not an instance of 'bytes'", type_note);
      break;
    }
    case 10: {
      PyObject* args[] = {bytes, min_rows, min_rows};
      result = PyObject_Vectorcall(py.columnarize, args, 3, nullptr);
      expected = refusal(PyExc_TypeError, "columnarize() takes from 1 to 2 positional arguments but 3 were given");
      break;
    }
    case 11: {
      PyObject* args[] = {bytes, min_rows};
      result = PyObject_Vectorcall(py.columnarize, args, 1, py.kw_bogus);
      expected = refusal(PyExc_TypeError, "columnarize() got an unexpected keyword argument 'bogus'");
      break;
    }
    default: {  // the plain call, on more of the inputs
      PyObject* args[] = {bytes};
      result = PyObject_Vectorcall(py.columnarize, args, 1, nullptr);
      break;
    }
  }
  const Answer got = answer_of(result);
  Py_XDECREF(other);

  if (got.ok != expected.ok) {
    fail(got.ok ? "a document where the codec raises: " + expected.text : "an exception where the codec gives a document: " + got.text,
         payload);
  }
  if (got.text != expected.text) {
    std::size_t at = 0;
    while (at < got.text.size() && at < expected.text.size() && got.text[at] == expected.text[at]) ++at;
    fail("a different " + std::string(got.ok ? "document" : "message") + " (" + std::to_string(got.text.size()) +
             " bytes, expected " + std::to_string(expected.text.size()) + "), from byte " + std::to_string(at) +
             ": got \"" + got.text.substr(at, 60) + "\", expected \"" + expected.text.substr(at, 60) + "\"",
         payload);
  }
  if (!got.ok && got.type != expected.type) fail("a different exception type for: " + got.text, payload);
  if (!got.ok && got.notes != expected.notes) fail("different notes: " + got.notes, payload);
  if (Py_REFCNT(bytes) != bytes_refs || Py_REFCNT(min_rows) != min_rows_refs) fail("the call kept a reference to an argument", payload);
  if (PyErr_Occurred() != nullptr) fail("an exception left set", payload);
  Py_DECREF(bytes);
  return 0;
}
