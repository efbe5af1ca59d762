#pragma once
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace orv {

class TfrView;
class TfrPage;
class TfrPages;
class TfrDataDictionary;
class TfrRunNames;

// The geometry of an object that placing it changes and puts back.
struct TfrObjectGeometry {
  int32_t left, top, width, height;
  uint8_t bandAlign;
  explicit TfrObjectGeometry(const TfrView& v);
  void restore(TfrView& v) const;
};

// The template's objects as one run uses and changes them: their design
// geometry, kept when their page is initialised and put back when a pass
// ends; the objects bound to the database field their text names; and the
// objects (charts) that hear of every text written on their page.
class TfrTemplateObjects {
 public:
  explicit TfrTemplateObjects(TfrRunNames& names) : names_(names) {}
  TfrTemplateObjects(const TfrTemplateObjects&) = delete;
  TfrTemplateObjects& operator=(const TfrTemplateObjects&) = delete;

  // Takes note of the objects of a page being initialised, their highlight
  // conditions converted once for the run.
  void Note(TfrPage& page);
  // An object whose whole text is one reference to a database field shows
  // that field: a picture its image, a text its value.
  void BindFields(const TfrPages& pages, TfrDataDictionary& dictionary);
  // A text object written whole on `page`.
  void TextWritten(const TfrPage* page, TfrView& text);
  // Puts the design geometry back and forgets the objects noted.
  void Restore();

 private:
  TfrRunNames& names_;
  std::vector<std::pair<TfrView*, TfrObjectGeometry>> designGeometry_;
  // Per page, the objects told of every text object written.
  std::map<const TfrPage*, std::vector<TfrView*>> notified_;
};

}  // namespace orv
