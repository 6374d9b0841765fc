// The static files of the self-service page, served at /vltadmin/ from one
// directory read into memory (at start and on reload): no request reaches
// the file system, so no path can lead out of the directory. Every answer
// forbids caching and carries a Content-Security-Policy that lets the page
// load only its own files and send only to its own origin.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "server/host_mutex.h"
#include "server/host_reply.h"

class CPageFiles {
 public:
  static constexpr std::string_view kUrlPrefix = "/vltadmin";

  // Reads the regular files directly in |directory| (names of letters,
  // digits, '.', '-' and '_', not starting with '.'). An empty name, or a
  // missing directory, leaves no pages: /vltadmin/ answers 404. False with
  // |err| when a file cannot be read or is too large; the pages read before
  // stay.
  bool Load(const std::string& directory, std::string& err) EXCLUDES(m_lock);
  // Reads the same directory again.
  bool Reload(std::string& err) EXCLUDES(m_lock);

  // True when |path| is under /vltadmin; the reply for it in |reply|.
  // /vltadmin redirects to /vltadmin/, which is index.html; only GET and
  // HEAD are served.
  bool Serve(std::string_view method, std::string_view path, bool fTls, CHostReply& reply) const
      EXCLUDES(m_lock);

 private:
  struct CFile {
    std::string m_contentType;
    std::string m_bytes;
  };
  using CFileSet = std::map<std::string, CFile, std::less<>>;

  mutable CMutex m_lock;
  std::string m_directory GUARDED_BY(m_lock);
  std::shared_ptr<const CFileSet> m_pFiles GUARDED_BY(m_lock);
};
