// What a message parser works with: the request's tokenizer, its CIcuTrans
// and its response writer. Owns nothing.
#pragma once

class CXMLParser;
class CIcuTrans;
struct XmlResponseWriter;

struct ParseContext {
  CXMLParser* parser;
  CIcuTrans* transcoder;
  XmlResponseWriter* writer;
};
