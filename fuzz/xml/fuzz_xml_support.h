// Shared set-up of the XML fuzz targets.
#pragma once

namespace xmlfuzz {

// Loads the shipped alias file into the alias table and marks CIcuTrans
// initialised, once per process.
void InitializeOnce();

}  // namespace xmlfuzz
