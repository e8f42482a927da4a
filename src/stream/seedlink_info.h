#pragma once
// Answers to INFO. Protocol 3.1: an XML document about the server, its
// station and its streams, carried in miniSEED log records of station
// "INFO" (channel "INF", or "ERR" for a level the server does not give).
// Protocol 4.0: a JSON document in one packet.

#include "stream/channel_codes.h"
#include "stream/record.h"
#include "stream/record_ring.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::stream {

// One client, as INFO CONNECTIONS shows it.
struct ConnectionInfo {
    std::string peer;          // "address:port"
    std::string transport;     // "tcp" or "websocket"
    std::int64_t connected_us = 0;
    int protocol = 3;
    std::string user_agent;
    bool streaming = false;
    bool dialup = false;
    std::uint64_t cursor = 0;  // the next record it would be sent
    std::uint64_t packets = 0;
};

struct ServerIdentity {
    std::string software;      // "SeedLink v4.0 (program and version)"
    std::string organization;  // the second line of HELLO
    std::string description;   // the station's description
    std::int64_t started_us = 0;
    StreamCodes codes;
    // The clients of the server now; none when not given.
    std::function<std::vector<ConnectionInfo>()> connections;

    std::string station_id() const { return codes.network + "_" + codes.station; }
};

enum class InfoLevel { id, formats, capabilities, stations, streams, gaps, connections, unsupported };
InfoLevel info_level_of(std::string_view level);

// The capability words that follow "::" in the first line of HELLO.
std::string_view hello_capabilities();

// The XML document of an INFO level of 3.1; `unsupported` gives the ID
// document.
std::string info_document(InfoLevel level, const ServerIdentity& identity,
                          const RecordRing& ring);

// The JSON document of an INFO level of 4.0, its stations and streams
// filtered by the patterns (empty: all); an error document for a level
// that 4.0 does not have.
std::string info_json(InfoLevel level, const ServerIdentity& identity, const RecordRing& ring,
                      std::string_view station_pattern = {}, std::string_view stream_pattern = {});

// The document cut into log records; `error` names them "ERR".
std::vector<Record> info_records(const std::string& document, const StreamCodes& codes,
                                 bool error, std::int64_t time_us);

// Text with &, <, > and " written as entities, for attribute values.
std::string xml_escape(std::string_view text);
// Text as a JSON string, quotes included.
std::string json_string(std::string_view text);
// "YYYY-MM-DDThh:mm:ss.ffffffZ".
std::string iso_time_text(std::int64_t time_us);

}  // namespace tw::stream
