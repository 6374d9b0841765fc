#include "bench_documents.h"

namespace xmlbench {

namespace {

std::string RequestBody(const char* encoding) {
  std::string doc = std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\r\n";
  doc +=
      "<AdminProtocol version=\"2.0\" xmlns=\"urn:veltra:admin\">\r\n"
      "  <RequestChangePassword>\r\n"
      "    <User>jonathan.doe-smith</User>\r\n"
      "    <Domain type=\"nt\">CORPORATE-HEADQUARTERS</Domain>\r\n"
      "    <OldPassword>Autumn&amp;Leaves#2025!</OldPassword>\r\n"
      "    <NewPassword>Winter&lt;Frost&gt;2026?</NewPassword>\r\n"
      "    <!-- issued by the self-service portal -->\r\n"
      "    <Client name='portal' address='192.0.2.17' session='c0ffee-1234-5678'/>\r\n"
      "  </RequestChangePassword>\r\n"
      "</AdminProtocol>\r\n";
  return doc;
}

}  // namespace

std::string RequestUtf8() {
  std::string doc = RequestBody("UTF-8");
  // Pad with a comment to 600 bytes, as a client's request of that size.
  const std::string tail = "</AdminProtocol>\r\n";
  doc.resize(doc.size() - tail.size());
  std::string pad = "<!--";
  while (doc.size() + pad.size() + 3 + tail.size() < 600) pad += 'x';
  return doc + pad + "-->" + tail;
}

std::string RequestUtf16le() {
  std::string utf8 = RequestUtf8();
  const std::string from = "encoding=\"UTF-8\"";
  utf8.replace(utf8.find(from), from.size(), "encoding=\"UTF-16\"");
  std::string out = "\xFF\xFE";
  for (char c : utf8) {  // the request is ASCII
    out += c;
    out += '\0';
  }
  return out;
}

std::string RecordsDocument(size_t cbTarget) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Directory generated='bench'>\n";
  for (int i = 0; doc.size() < cbTarget - 200; ++i) {
    const std::string n = std::to_string(i);
    doc +=
        "  <Account id=\"" + n +
        "\" state='active' policy=\"standard\">\n"
        "    <Name>user" +
        n +
        "</Name>\n"
        "    <Mail>user" +
        n +
        "@example.org</Mail>\n"
        "    <Note>Password changed by the portal &amp; mirrored; next change in 90 days.</Note>\n"
        "  </Account>\n";
  }
  return doc + "</Directory>\n";
}

}  // namespace xmlbench
