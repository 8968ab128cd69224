// What the installer does with the product's files, checked before anything is
// written: it starts DEZAZAZE.exe, and later looks for Morlu.exe and offers
// Morlu.txt in the install folder that the inner installer reports.
#pragma once
#include <string>
#include <vector>

#include "packer/pack/member_list.h"
#include "packer/system/cp932_text.h"

// Throws PackError when no member is DEZAZAZE.exe (Windows ignores case),
// when it is no Windows program that a stub for stubMachine can start (one
// of that machine, or of i386 in an x86-64 stub), or when Morlu.txt is not
// code page 932 text; with notesEncoding Utf8 it is converted instead, and
// with Cp932 it is only checked. The release notes are read here, once:
// their member then carries the bytes to pack. Returns the warnings for what
// the installer will not do, Morlu.exe that is no such program among them.
std::vector<std::string> CheckProduct(std::vector<MemberSource>& members, TextEncoding notesEncoding,
                                      uint16_t stubMachine);
