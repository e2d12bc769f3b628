// SPDX-License-Identifier: MIT
// What the command line does with a tag, on the reader API: named banks, areas and actions,
// EPC writes with their PC word, and the decoded forms of EPCs and TIDs.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "cli/reader_session.h"
#include "protocol/tid.h"

namespace kvara::cli {

std::optional<int> BankNamed(const std::string& name);  // reserved, epc, tid, user
std::optional<int> AreaNamed(const std::string& name);  // kill, access, epc, tid, user
std::optional<int> ActionNamed(
    const std::string& name);  // unlocked, locked, permaunlocked, permalocked
bool IsPermanentAction(int action);

// Writes PC and EPC of the selected tag (found by its old EPC) so that the PC's length bits
// name the new EPC, keeping the PC's other bits, and proves it by reading the EPC bank back
// under the new EPC. A password, when given, is used for the write.
std::optional<Failure> WriteEpc(ReaderSession& reader, const ByteBuffer& oldEpc,
                                const ByteBuffer& newEpc, const ByteBuffer& password);

// Reads the TID bank of the tag with this EPC (its first 12 bytes, fewer if the bank is
// shorter); empty on failure.
ByteBuffer ReadTid(ReaderSession& reader, const ByteBuffer& epc);

// The GS1 reading of an EPC: the decoded fields, or the reason it is none.
nlohmann::json Gs1Json(const ByteBuffer& epc);
// "urn:epc:id:..." or an empty text.
std::string Gs1Identity(const ByteBuffer& epc);
nlohmann::json TidJson(const ByteBuffer& tid, const TidCatalog& catalog);

// The chip catalogue beside the program or in its data folder; empty when none is found.
const TidCatalog& Catalog();

}  // namespace kvara::cli
