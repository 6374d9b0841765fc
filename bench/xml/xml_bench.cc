// Tokenizer throughput: ParseXMLSignature + Initialize + every GetEntry
// against pugixml (load_buffer_inplace, default flags, on a fresh copy each
// iteration) and expat (a fresh parser with element and text handlers) on the
// same bytes. run.sh turns the results into ratios against pugixml.
#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "admin/xml/charset_alias.h"
#include "admin/xml/xml_parser.h"
#include "bench_documents.h"

namespace {

struct Document {
  const char* name;
  std::string bytes;
};

const std::vector<Document>& Documents() {
  static const std::vector<Document> documents = {
      {"a_request_utf8", xmlbench::RequestUtf8()},
      {"b_request_utf16le", xmlbench::RequestUtf16le()},
      {"c_16KB", xmlbench::RecordsDocument(16 * 1024)},
      {"d_1MB", xmlbench::RecordsDocument(1024 * 1024)},
  };
  return documents;
}

void LoadAliases() {
  std::ifstream in(std::string(VLT_XML_SOURCE_DIR) + "/data/vltxmlss.txt", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  CCharsetAliasTable::Parse(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  int nError;
  CIcuTrans::Initialize(&nError, nullptr);  // the table is loaded: marks the class ready
}

void BM_CXMLParser(benchmark::State& state, const Document* pDoc) {
  std::string bytes = pDoc->bytes;
  unsigned char* pb = reinterpret_cast<unsigned char*>(bytes.data());
  const int cb = static_cast<int>(bytes.size());
  // As the dispatcher does: the built-in buffer up to 8192 bytes.
  const int cwCapacity = cb <= 8192 ? 0 : cb;
  int cEntries = 0;
  for (auto _ : state) {
    CIcuTrans trans;
    int nError;
    if (!trans.ParseXMLSignature(pb, cb, &nError)) {
      state.SkipWithError("ParseXMLSignature failed");
      break;
    }
    CXMLParser parser(cwCapacity);
    if (!parser.Initialize(&trans, pb, cb, &nError)) {
      state.SkipWithError("Initialize failed");
      break;
    }
    CXMLParser::e_XML_Entry eKind;
    unsigned short *pwName, *pwValue;
    int cwName, cwValue;
    cEntries = 0;
    while (parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError) &&
           eKind != CXMLParser::XML_ENTRY_END) {
      benchmark::DoNotOptimize(pwName);
      ++cEntries;
    }
    if (eKind != CXMLParser::XML_ENTRY_END) {
      state.SkipWithError("GetEntry failed");
      break;
    }
  }
  state.counters["entries"] = cEntries;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * cb);
}

void BM_Pugixml(benchmark::State& state, const Document* pDoc) {
  const std::string& bytes = pDoc->bytes;
  std::vector<char> copy(bytes.size());
  for (auto _ : state) {
    memcpy(copy.data(), bytes.data(), bytes.size());
    pugi::xml_document doc;
    pugi::xml_parse_result result = doc.load_buffer_inplace(copy.data(), copy.size());
    if (!result) {
      state.SkipWithError(result.description());
      break;
    }
    benchmark::DoNotOptimize(doc.first_child());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes.size());
}

void XMLCALL OnStart(void* pv, const XML_Char*, const XML_Char**) { ++*static_cast<int*>(pv); }
void XMLCALL OnEnd(void* pv, const XML_Char*) { ++*static_cast<int*>(pv); }
void XMLCALL OnText(void* pv, const XML_Char*, int) { ++*static_cast<int*>(pv); }

void BM_Expat(benchmark::State& state, const Document* pDoc) {
  const std::string& bytes = pDoc->bytes;
  for (auto _ : state) {
    int cEvents = 0;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &cEvents);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    if (XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) != XML_STATUS_OK) {
      state.SkipWithError(XML_ErrorString(XML_GetErrorCode(parser)));
      XML_ParserFree(parser);
      break;
    }
    XML_ParserFree(parser);
    benchmark::DoNotOptimize(cEvents);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  LoadAliases();
  for (const Document& doc : Documents()) {
    benchmark::RegisterBenchmark((std::string("CXMLParser/") + doc.name).c_str(), BM_CXMLParser,
                                 &doc);
    benchmark::RegisterBenchmark((std::string("pugixml/") + doc.name).c_str(), BM_Pugixml, &doc);
    benchmark::RegisterBenchmark((std::string("expat/") + doc.name).c_str(), BM_Expat, &doc);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
