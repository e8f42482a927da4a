#pragma once
// Answers to INFO: an XML document about the server, its station and its
// streams, carried in miniSEED log records of station "INFO" (channel "INF",
// or "ERR" for a level the server does not give).

#include "stream/channel_codes.h"
#include "stream/record.h"
#include "stream/record_ring.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::stream {

struct ServerIdentity {
    std::string software;      // first word "SeedLink v3.1", then the program
    std::string organization;  // the second line of HELLO
    std::string description;   // the station's description
    std::int64_t started_us = 0;
    StreamCodes codes;
};

enum class InfoLevel { id, capabilities, stations, streams, unsupported };
InfoLevel info_level_of(std::string_view level);

// The capability words that follow "::" in the first line of HELLO.
std::string_view hello_capabilities();

// The XML document of an INFO level; `unsupported` gives the ID document.
std::string info_document(InfoLevel level, const ServerIdentity& identity,
                          const RecordRing& ring);

// The document cut into log records; `error` names them "ERR".
std::vector<Record> info_records(const std::string& document, const StreamCodes& codes,
                                 bool error, std::int64_t time_us);

// Text with &, <, > and " written as entities, for attribute values.
std::string xml_escape(std::string_view text);

}  // namespace tw::stream
