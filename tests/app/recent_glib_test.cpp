// The freedesktop list of recently used files, read and written by GLib, the
// library the desktop's own "Recent" views use: it must read what we write,
// and what it wrote must survive our changes.
#ifdef ORV_HAVE_GLIB
#include <glib.h>  // before Qt, whose keywords GLib's headers do not expect
#endif

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/recent_files.h"

namespace orv {
namespace {

#ifdef ORV_HAVE_GLIB
struct Use {
  bool ours = false;
  std::string exec, mime;
  unsigned count = 0;
};

Use glibView(const QString& list, const char* uri, const char* app) {
  GBookmarkFile* b = g_bookmark_file_new();
  GError* err = nullptr;
  Use u;
  if (!g_bookmark_file_load_from_file(b, list.toUtf8().constData(), &err)) {
    ADD_FAILURE() << "GLib cannot read the list: " << err->message;
    g_error_free(err);
    g_bookmark_file_free(b);
    return u;
  }
  gchar* exec = nullptr;
  guint count = 0;
  u.ours = g_bookmark_file_get_application_info(b, uri, app, &exec, &count, nullptr, nullptr);
  if (gchar* mime = g_bookmark_file_get_mime_type(b, uri, nullptr)) {
    u.mime = mime;
    g_free(mime);
  }
  if (exec) u.exec = exec;
  u.count = count;
  g_free(exec);
  g_bookmark_file_free(b);
  return u;
}

TEST(RecentGlibTest, GLibReadsOurEntriesAndKeepsItsOwn) {
  QTemporaryDir dir;
  const QString list = dir.filePath("recently-used.xbel");
  {
    GBookmarkFile* b = g_bookmark_file_new();
    g_bookmark_file_add_application(b, "file:///tmp/carta.txt", "gedit", "gedit %u");
    g_bookmark_file_set_mime_type(b, "file:///tmp/carta.txt", "text/plain");
    ASSERT_TRUE(g_bookmark_file_to_file(b, list.toUtf8().constData(), nullptr));
    g_bookmark_file_free(b);
  }
  const RecentUse use{"/tmp/relatório 1.frp", "application/x-orvalen-report", "Leitor",
                      "orvalen-reader %u"};
  ASSERT_EQ(addRecentUse(list, use), QString());
  ASSERT_EQ(addRecentUse(list, use), QString());
  const char* ours = "file:///tmp/relat%C3%B3rio%201.frp";
  const Use mine = glibView(list, ours, "Leitor");
  EXPECT_TRUE(mine.ours);
  EXPECT_EQ(mine.count, 2u);
  EXPECT_EQ(mine.mime, "application/x-orvalen-report");
  EXPECT_EQ(mine.exec, std::string("orvalen-reader ") + ours);
  const Use theirs = glibView(list, "file:///tmp/carta.txt", "gedit");
  EXPECT_TRUE(theirs.ours);
  EXPECT_EQ(theirs.count, 1u);
  EXPECT_EQ(theirs.mime, "text/plain");
}
#else
TEST(RecentGlibTest, GLibReadsOurEntriesAndKeepsItsOwn) {
  GTEST_SKIP() << "built without GLib's development files";
}
#endif

}  // namespace
}  // namespace orv
