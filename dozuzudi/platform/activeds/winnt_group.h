// The WinNT provider: "WinNT://DOMAIN/name" objects over the network
// management functions (netapi.h) and the domains' providers behind them.
// A group binds as a local group of the domain when NetLocalGroupGetMembers
// knows it, else as a domain group when NetGroupGetUsers does; its members
// are users and groups named "WinNT://MEMBERDOMAIN/name", and computers
// (IADs alone) for the machine accounts, whose names end in "$".
#pragma once

#include <string>

#include "platform/activeds/adsi.h"

// sPath is the path after "WinNT://". E_ADS_BAD_PATHNAME for a path that
// is not "DOMAIN/name" (an optional ",class" suffix aside); for a name that
// no group answers to, HRESULT_FROM_WIN32 of the network management status.
HRESULT OpenWinNTObject(const std::string& sPath, REFIID riid, void** ppObject);
