// The HTTP texts the extension sends, single-byte, in one static table.
#pragma once

enum EHttpTextId {
  HTTP_TEXT_POST,
  HTTP_TEXT_TEXT_XML,
  HTTP_TEXT_200_OK,
  HTTP_TEXT_405_METHOD_NOT_SUPPORTED,
  HTTP_TEXT_406_NO_RESPONSE_ACCEPTABLE,
  HTTP_TEXT_411_LENGTH_REQUIRED,
  HTTP_TEXT_413_REQUEST_TOO_LARGE,
  HTTP_TEXT_503_TEMPORARILY_OVERLOADED,
  HTTP_TEXT_HEADER_LENGTH,   // printf format with the body length (%d)
  HTTP_TEXT_HEADER_CHUNKED,  // printf format with the first chunk's size (%x)
  HTTP_TEXT_CHUNK_SIZE,      // printf format with a later chunk's size (%x)
  HTTP_TEXT_LAST_CHUNK_END,
  HTTP_TEXT_CHUNK_END,
  HTTP_TEXT_COUNT
};

extern const char* const g_rgHttpTexts[HTTP_TEXT_COUNT];
