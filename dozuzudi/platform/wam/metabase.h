// vltadmin-host's metabase: the web applications it serves, kept in a
// small text file beside the registry file ("metabase.txt"). The WAM
// administration object (iwamadmin.h) writes it; the host reads it at start
// and whenever it changes.
//
// Format: UTF-8 lines (LF or CRLF). Blank lines and lines starting with "#"
// are ignored; every other line is one application, "inproc PATH" or
// "pooled PATH": its isolation (AppCreate's fInProc TRUE or FALSE; the host
// runs both in its own process), one or more blanks, and its metabase path,
// e.g. "inproc /LM/W3SVC/1/ROOT/Scripts/vltadmin". Paths compare without
// regard to ASCII case; a path named twice keeps its last line. Any other
// line makes the whole file malformed.
//
// Writing: every change reads the file, changes it and writes it back while
// holding an exclusive lock (flock) on "metabase.txt.lock" beside it, so that
// concurrent writers in any processes never lose each other's entries. The
// new text goes to a temporary file in the same directory, is flushed to
// disk (fsync), and renamed over the file, whose directory is then flushed:
// a reader sees the old file or the new one, never a part. Readers take no
// lock. A malformed file is never overwritten.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/api.h"

VLT_API_BEGIN
namespace platform::wam {

struct CApplication {
  std::string m_path;  // as first created
  bool m_fInProc = true;
};

// A metabase path: "/" followed by names separated by single "/", none of
// them "." or "..", none beginning or ending with a blank, without control
// characters or backslashes, at most 1024 bytes. A trailing "/" is dropped.
// False when |path| is none.
bool NormalizeMetabasePath(std::string_view path, std::string* pNormalized);

// Whether |parent| is |path| or one of its ancestors (ASCII case ignored).
bool MetabasePathCovers(std::string_view parent, std::string_view path);

class CMetabase {
 public:
  // Replaces the contents with the applications of |text|. False when it is
  // malformed, with the 1-based line and the reason; the contents are then
  // partial and are to be discarded.
  bool Parse(std::string_view text, size_t* pnLine, std::string* pReason);
  std::string Format() const;

  const std::vector<CApplication>& Applications() const { return m_rgApplications; }
  // Records the application at |path| (normalized); false when that changed
  // nothing.
  bool Create(const std::string& path, bool fInProc);
  // Removes the application at |path| and, with |fRecursive|, every one
  // below it; false when there was none.
  bool Delete(std::string_view path, bool fRecursive);
  // The application whose path covers |path| most closely; null when none.
  const CApplication* Covering(std::string_view path) const;

 private:
  std::vector<CApplication> m_rgApplications;
};

// The metabase file that goes with a registry file: "metabase.txt" in the
// registry file's directory.
std::string MetabaseFileBeside(const std::string& registryFile);

// Results of reading and updating: 0, kMetabaseMalformed, or an errno value.
inline constexpr int kMetabaseMalformed = -1;

// Reads the file as it is now; a missing file is an empty metabase.
// |pReason| (may be null) says why a malformed file was refused.
int ReadMetabaseFile(const std::string& file, CMetabase* pMetabase, std::string* pReason = nullptr);

// Reads the file under its lock, lets |change| edit it and, when |change|
// returns true, writes it back as described above.
int UpdateMetabaseFile(const std::string& file, const std::function<bool(CMetabase&)>& change);

}  // namespace platform::wam
VLT_API_END
