// The small path questions the decryption asks in more than one place: the
// folder above a path, a record's place as the user reads it, and whether a
// name is held by a link nothing shows. The survey, the restore and the
// record check ask them alike.
#pragma once

#include "engine/container.h"

#include <string>

// The folder that holds path, without a final '\'.
std::wstring FolderOf(const std::wstring& path);

// The record's place as the user can read it; control characters shown as '?'.
std::wstring ShownPlace(const EntryInfo& entry);

// Under Wine a Unix link whose target is gone is invisible to every query
// (no attributes, not listed), yet it holds its name: only an attempt to
// create the name shows it. The attempt leaves nothing behind, for the
// handle deletes what it made when it closes, also when the process ends.
bool NameTakenUnseen(const std::wstring& path);
