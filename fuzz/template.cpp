// Loads arbitrary bytes as a report template, saves it, loads the saved
// stream and saves again: the two saves must be the same template, byte for
// byte (but for the change date, which is the time of saving).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/tfr_report.h"
#include "fuzz_app.h"

namespace {

std::vector<uint8_t> saveWithoutChangeDate(orv::TfrReport& report) {
  orv::MemoryStream s;
  report.SaveToStream(s);
  std::vector<uint8_t> b = s.takeBytes();
  b.resize(b.size() - 8);
  return b;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orv::fuzz::startUp();
  orv::TfrReport first;
  orv::MemoryStream in(std::vector<uint8_t>(data, data + size));
  first.LoadFromStream(in);
  std::vector<uint8_t> saved;
  try {
    saved = saveWithoutChangeDate(first);
  } catch (const orv::Error&) {
    return 0;  // e.g. objects beyond the 256 pages a template can address
  }
  orv::TfrReport second;
  orv::MemoryStream again(saved);
  again.bytes().resize(saved.size() + 8);  // the change date's place
  const orv::TemplateLoadResult r = second.LoadFromStream(again);
  if (r.status != orv::TemplateLoadResult::Status::Loaded) {
    std::fprintf(stderr, "a saved template did not load again: %s\n", r.reason.c_str());
    std::abort();
  }
  if (saveWithoutChangeDate(second) != saved) {
    std::fprintf(stderr, "the second save differs from the first\n");
    std::abort();
  }
  return 0;
}
