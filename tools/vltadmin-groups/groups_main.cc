// vltadmin-groups: answers a RequestGroup document with the extension's
// group operation, in this process, with the directories and domains the
// registry configures.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "admin/messages/keyword_tables.h"
#include "admin/protocol/request.h"
#include "admin/xml/icu_trans.h"
#include "group_document.h"
#include "member_tree.h"
#include "password_input.h"

namespace {

const char kUsage[] =
    "NAME\n"
    "    vltadmin-groups - list the members of NT and NDS groups\n"
    "\n"
    "SYNOPSIS\n"
    "    vltadmin-groups [--format xml|text] [--registry FILE] [DOCUMENT]\n"
    "    vltadmin-groups [--format xml|text] [--registry FILE] --domain DOMAIN\n"
    "                    [--type NT|NDS] [--subtree] [--user USER] --group GROUP...\n"
    "\n"
    "DESCRIPTION\n"
    "    Answers an AdminProtocol document holding a RequestGroup element, read\n"
    "    from the file DOCUMENT or, without one (or with \"-\"), from standard\n"
    "    input, and prints the ResponseGroup document, in the document's\n"
    "    encoding, on standard output. The groups are resolved as the extension\n"
    "    resolves them: NT groups through the directory services when the\n"
    "    registry names a recent enough version of them, else through the\n"
    "    network management functions and the domains' providers; NDS groups\n"
    "    through the NDS client library, logged in with the request's\n"
    "    credentials. Group lists are answered only where the registry value\n"
    "    ExposeAccessLists under\n"
    "    HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Veltra\\XMLService\n"
    "    is a non-zero DWORD; otherwise the answer is \"no-permission\".\n"
    "\n"
    "    With --group, the document is built from the options instead.\n"
    "\n"
    "OPTIONS\n"
    "    --group GROUP     a group to list; may be given more than once\n"
    "    --domain DOMAIN   the groups' NT domain or NDS tree (also the tree the\n"
    "                      credentials log in to)\n"
    "    --type NT|NDS     the domain's type (default NT)\n"
    "    --subtree         follow nested groups (default: direct members only)\n"
    "    --user USER       NDS credentials: the user, whose password is read\n"
    "                      from standard input (one line; never an argument)\n"
    "    --format xml|text the answer as the ResponseGroup document (default),\n"
    "                      or as a tree: each group's users and groups, nested\n"
    "                      groups indented under their group, error ids as\n"
    "                      \"error ID\" lines\n"
    "    --registry FILE   the registry file (default: $VLTADMIN_REGISTRY, else\n"
    "                      the installed one)\n"
    "    --help            this text\n"
    "\n"
    "EXIT STATUS\n"
    "    0  the document was answered (error ids inside the answer included)\n"
    "    1  the document could not be read, or the extension could not start\n"
    "    2  the document was refused: not a RequestGroup document, or one the\n"
    "       parser answers with \"bad-request\"; or a usage error\n"
    "\n"
    "EXAMPLES\n"
    "    vltadmin-groups --domain EXAMPLE --subtree --group Staff --format text\n"
    "    vltadmin-groups request.xml\n";

int Usage(const std::string& message) {
  fprintf(stderr, "vltadmin-groups: %s\n(vltadmin-groups --help tells more)\n", message.c_str());
  return 2;
}

int Fail(const std::string& message) {
  fprintf(stderr, "vltadmin-groups: %s\n", message.c_str());
  return 1;
}

bool ReadAll(int fd, std::string* ps) {
  char rgb[65536];
  for (;;) {
    ssize_t cb = read(fd, rgb, sizeof rgb);
    if (cb == 0) return true;
    if (cb < 0) return false;
    ps->append(rgb, static_cast<size_t>(cb));
  }
}

void Wipe(std::string* ps) {
  explicit_bzero(ps->data(), ps->size());
  ps->clear();
}

// Where the extension's response blocks go: standard output, or a string
// for the text form.
struct COutput {
  bool fCapture = false;
  std::string sCaptured;
};

BOOL WINAPI WriteClient(HCONN hConn, LPVOID pvBuffer, LPDWORD pcb, DWORD) {
  auto* pOutput = static_cast<COutput*>(hConn);
  const char* pb = static_cast<const char*>(pvBuffer);
  if (pOutput->fCapture) {
    pOutput->sCaptured.append(pb, *pcb);
    return TRUE;
  }
  return fwrite(pb, 1, *pcb, stdout) == *pcb;
}

BOOL WINAPI ServerSupportFunction(HCONN, DWORD, LPVOID, LPDWORD, LPDWORD) { return TRUE; }

}  // namespace

int main(int argc, char** argv) {
  // As in vltadmin-host: a connection its server closed fails a write
  // instead of ending the process (a reader of the output going away too).
  signal(SIGPIPE, SIG_IGN);
  CGroupDocumentOptions options;
  std::string sFormat = "xml", sDocumentPath;
  bool fDocumentGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* ps) {
      if (i + 1 >= argc) return false;
      *ps = argv[++i];
      return true;
    };
    std::string sGroup;
    if (arg == "--help" || arg == "-h") {
      fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--group") {
      if (!value(&sGroup)) return Usage("--group needs a group");
      options.rgsGroups.push_back(sGroup);
    } else if (arg == "--domain") {
      if (!value(&options.sDomain)) return Usage("--domain needs a domain");
    } else if (arg == "--type") {
      if (!value(&options.sType) || (options.sType != "NT" && options.sType != "NDS"))
        return Usage("--type is NT or NDS");
    } else if (arg == "--subtree") {
      options.fSubtree = true;
    } else if (arg == "--user") {
      if (!value(&options.sUser)) return Usage("--user needs a user");
    } else if (arg == "--format") {
      if (!value(&sFormat) || (sFormat != "xml" && sFormat != "text")) return Usage("--format is xml or text");
    } else if (arg == "--registry") {
      std::string sRegistry;
      if (!value(&sRegistry)) return Usage("--registry needs a file");
      setenv("VLTADMIN_REGISTRY", sRegistry.c_str(), 1);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (fDocumentGiven) {
      return Usage("one document at a time");
    } else {
      sDocumentPath = arg;
      fDocumentGiven = true;
    }
  }
  bool fBuild = !options.rgsGroups.empty();
  if (fBuild && fDocumentGiven) return Usage("--group builds the document: give no document as well");
  if (!fBuild && (!options.sDomain.empty() || !options.sUser.empty() || options.fSubtree))
    return Usage("--domain, --user and --subtree go with --group");
  if (fBuild && options.sDomain.empty()) return Usage("--group needs --domain");

  std::string sDocument;
  if (fBuild) {
    CPasswordInput password;
    bool fPassword = !options.sUser.empty();
    if (fPassword && !password.Read("Password: ")) return Fail("no password on standard input (one line)");
    sDocument = BuildGroupDocument(options, fPassword ? password.Text() : nullptr);
  } else {
    int fd = sDocumentPath.empty() || sDocumentPath == "-" ? 0 : open(sDocumentPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(sDocumentPath + ": " + strerror(errno));
    bool fRead = ReadAll(fd, &sDocument);
    if (fd != 0) close(fd);
    if (!fRead) return Fail("the document cannot be read: " + std::string(strerror(errno)));
  }

  InitKeywordTables();
  int nError = 0;
  if (!CIcuTrans::Initialize(&nError, nullptr)) {
    Wipe(&sDocument);
    return Fail("the encoding alias file cannot be read (the registry's Software\\Veltra\\Install Location)");
  }

  COutput output;
  output.fCapture = sFormat == "text";
  EXTENSION_CONTROL_BLOCK ecb{};
  ecb.cbSize = sizeof(ecb);
  ecb.ConnID = &output;
  ecb.WriteClient = WriteClient;
  ecb.ServerSupportFunction = ServerSupportFunction;
  // The document goes out as it is made, with no HTTP framing.
  ConnectionOutput connection;
  connection.m_pECB = &ecb;
  connection.m_fHeaderPending = false;
  connection.m_fChunked = false;
  int nResult;
  {
    CRequest20 handler(&connection);
    nResult = handler.AnswerGroupRequest(reinterpret_cast<unsigned char*>(sDocument.data()),
                                         static_cast<DWORD>(sDocument.size()));
  }
  Wipe(&sDocument);
  CIcuTrans::Terminate();
  fflush(stdout);
  if (nResult == GROUPS_REFUSED) return Usage("not an AdminProtocol document with a RequestGroup element");
  if (output.fCapture) {
    std::string sText;
    if (!FormatMemberTree(output.sCaptured, &sText)) return Fail("the answer does not read as a document");
    fputs(sText.c_str(), stdout);
  }
  return nResult == GROUPS_BAD_REQUEST ? 2 : 0;
}
