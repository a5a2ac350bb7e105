#include "word/docreservationwrite.h"

#include <gsf/gsf.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "word/docx/unicase.h"
#include "word/error.h"

namespace vm::word {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPassword = 0x11;  // its index among the associated strings
constexpr std::size_t kAssocCount = 18;
constexpr std::size_t kSttbfAssoc = 32;  // fcSttbfAssoc's pair in FibRgFcLcb97
constexpr std::uint16_t kWhichTable = 0x0200, kEncrypted = 0x0100, kReserved = 0x0800;

std::uint32_t le(std::string_view s, std::size_t at, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + i])) << (8 * i);
  return v;
}

void put(std::string& s, std::size_t at, std::uint32_t v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

[[noreturn]] void fail(const fs::path& path, const std::string& why) {
  throw EngineError(ErrorCode::WriteFailed, path.string() + ": write password: " + why);
}

struct Unref {
  void operator()(void* p) const { if (p) g_object_unref(p); }
};
template <class T> using Ref = std::unique_ptr<T, Unref>;

std::string gerror(GError* err) {
  std::string s = err && err->message ? err->message : "unknown error";
  if (err) g_error_free(err);
  return s;
}

std::string readAll(GsfInput* in) {
  std::string out(static_cast<std::size_t>(gsf_input_size(in)), '\0');
  std::size_t at = 0;
  while (at < out.size()) {
    const std::size_t n = std::min<std::size_t>(out.size() - at, 1 << 16);
    if (!gsf_input_read(in, n, reinterpret_cast<guint8*>(out.data() + at))) return {};
    at += n;
  }
  return out;
}

// The byte offset of fcSttbfAssoc in a FIB, 0 when the FIB has no such pair.
std::size_t assocPairAt(std::string_view fib) {
  std::size_t at = 32;
  if (at + 2 > fib.size()) return 0;
  at += 2 + 2 * le(fib, at, 2);
  if (at + 2 > fib.size()) return 0;
  at += 2 + 4 * le(fib, at, 2);
  if (at + 2 > fib.size() || le(fib, at, 2) <= kSttbfAssoc) return 0;
  at += 2 + 8 * kSttbfAssoc;
  return at + 8 <= fib.size() ? at : 0;
}

// The file's own associated strings (UTF-16 units), 18 of them, empty where it has none.
std::vector<std::u16string> assocStrings(std::string_view table, std::uint32_t fc, std::uint32_t lcb) {
  std::vector<std::u16string> out(kAssocCount);
  if (lcb < 6 || fc > table.size() || lcb > table.size() - fc) return out;
  const std::string_view s = table.substr(fc, lcb);
  if (le(s, 0, 2) != 0xFFFF) return out;
  const std::size_t count = le(s, 2, 2), extra = le(s, 4, 2);
  std::size_t p = 6;
  for (std::size_t i = 0; i < count && i < kAssocCount; ++i) {
    if (p + 2 > s.size()) break;
    const std::size_t cch = le(s, p, 2);
    p += 2;
    if (p + 2 * cch > s.size()) break;
    for (std::size_t k = 0; k < cch; ++k) out[i] += static_cast<char16_t>(le(s, p + 2 * k, 2));
    p += 2 * cch + extra;
  }
  return out;
}

std::u16string utf16(const std::string& utf8) {
  std::u16string out;
  for (char32_t c : docx::toU32(utf8)) {
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

bool writeAll(GsfOutput* out, const std::string& data) {
  return data.empty() || gsf_output_write(out, data.size(), reinterpret_cast<const guint8*>(data.data()));
}

// Copies every child of a storage in order, storages with their class id; the streams named in
// replaced get the given bytes.
// Only top-level streams are replaced.
using Streams = std::vector<std::pair<std::string, std::string>>;
bool copyStorage(GsfInfile* in, GsfOutfile* out, const Streams& replaced) {
  const int n = gsf_infile_num_children(in);
  for (int i = 0; i < n; ++i) {
    const char* name = gsf_infile_name_by_index(in, i);
    Ref<GsfInput> child(gsf_infile_child_by_index(in, i));
    if (!name || !child) return false;
    const bool storage = GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0;
    Ref<GsfOutput> to(gsf_outfile_new_child(out, name, storage));
    if (!to) return false;
    bool ok = true;
    if (storage) {
      guint8 clsid[16];
      if (GSF_IS_INFILE_MSOLE(child.get()) && gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child.get()), clsid))
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(to.get()), clsid);
      ok = copyStorage(GSF_INFILE(child.get()), GSF_OUTFILE(to.get()), {});
    } else {
      const std::string* bytes = nullptr;
      for (const auto& [n2, b] : replaced)
        if (n2 == name) bytes = &b;
      std::string data;
      if (!bytes) {
        data = readAll(child.get());
        if (data.size() != static_cast<std::size_t>(gsf_input_size(child.get()))) ok = false;
      }
      ok = ok && writeAll(to.get(), bytes ? *bytes : data);
    }
    ok = gsf_output_close(to.get()) && ok;
    if (!ok) return false;
  }
  return true;
}

}  // namespace

void setDocWriteReservation(const fs::path& path, const std::string& passwordUtf8) {
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
  const std::u16string password = utf16(passwordUtf8);
  if (docx::toU32(passwordUtf8).size() > kDocWritePasswordMax) fail(path, "longer than 15 characters");

  GError* err = nullptr;
  Ref<GsfInput> file(gsf_input_stdio_new(path.c_str(), &err));
  if (!file) fail(path, gerror(err));
  Ref<GsfInfile> ole(gsf_infile_msole_new(file.get(), &err));
  if (!ole) fail(path, "not a compound file: " + gerror(err));
  auto stream = [&](const char* name) -> std::string {
    Ref<GsfInput> s(gsf_infile_child_by_name(ole.get(), name));
    if (!s) fail(path, std::string("no ") + name + " stream");
    std::string data = readAll(s.get());
    if (data.size() != static_cast<std::size_t>(gsf_input_size(s.get()))) fail(path, std::string("cannot read ") + name);
    return data;
  };
  std::string fib = stream("WordDocument");
  if (fib.size() < 32 || le(fib, 0, 2) != 0xA5EC) fail(path, "no Word 97 FIB");
  const std::uint16_t flags = static_cast<std::uint16_t>(le(fib, 0x0A, 2));
  if (flags & kEncrypted) fail(path, "an encrypted document");
  const std::size_t pair = assocPairAt(fib);
  if (!pair) fail(path, "the FIB has no SttbfAssoc");
  const char* tableName = flags & kWhichTable ? "1Table" : "0Table";
  std::string table = stream(tableName);

  std::vector<std::u16string> strings = assocStrings(table, le(fib, pair, 4), le(fib, pair + 4, 4));
  strings[kPassword] = password;
  // Extended (UTF-16) STTB: fExtend 0xFFFF, cData 18, cbExtra 0, then counted strings.
  std::string sttb(6, '\0');
  put(sttb, 0, 0xFFFF, 2);
  put(sttb, 2, kAssocCount, 2);
  for (const std::u16string& s : strings) {
    std::string entry(2 + 2 * s.size(), '\0');
    put(entry, 0, static_cast<std::uint32_t>(s.size()), 2);
    for (std::size_t k = 0; k < s.size(); ++k) put(entry, 2 + 2 * k, s[k], 2);
    sttb += entry;
  }
  put(fib, pair, static_cast<std::uint32_t>(table.size()), 4);
  put(fib, pair + 4, static_cast<std::uint32_t>(sttb.size()), 4);
  put(fib, 0x0A, password.empty() ? flags & ~kReserved : flags | kReserved, 2);
  table += sttb;

  const fs::path tmp = path.string() + ".pw";
  struct Remove {
    const fs::path& p;
    bool keep = false;
    ~Remove() {
      std::error_code ec;
      if (!keep) fs::remove(p, ec);
    }
  } remove{tmp};
  Ref<GsfOutput> out(gsf_output_stdio_new(tmp.c_str(), &err));
  if (!out) fail(path, gerror(err));
  bool ok;
  {
    Ref<GsfOutfile> outOle(gsf_outfile_msole_new(out.get()));
    guint8 clsid[16];
    if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(ole.get()), clsid))
      gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(outOle.get()), clsid);
    ok = copyStorage(ole.get(), outOle.get(), {{"WordDocument", fib}, {tableName, table}});
    ok = gsf_output_close(GSF_OUTPUT(outOle.get())) && ok;
  }
  ok = (gsf_output_is_closed(out.get()) || gsf_output_close(out.get())) && ok;
  if (!ok) fail(path, "cannot write the compound file");
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) fail(path, ec.message());
  remove.keep = true;
}

}  // namespace vm::word
