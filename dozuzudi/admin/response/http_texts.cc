#include "admin/response/http_texts.h"

const char* const g_rgHttpTexts[HTTP_TEXT_COUNT] = {
    "POST",
    "text/xml",
    "200 OK",
    "405 method not supported",
    "406 no response acceptable",
    "411 length required",
    "413 request too large",
    "503 temporarily overloaded",
    "Content-type: text/xml\r\nContent-length: %d\r\n\r\n",
    "Content-type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n%x\r\n",
    "%x\r\n",
    "\r\n0\r\n\r\n",
    "\r\n",
};
