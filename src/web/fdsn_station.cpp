#include "web/fdsn_station.h"

#include "web/fdsn_common.h"

#include <cmath>

namespace tw::web {

namespace {

using platform::HttpResponse;
using platform::text_response;

enum class Level { network, station, channel, response };

std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '|': out += ' '; break;  // the text format's separator
        default:
            // 8-bit texts of the settings file: only ASCII goes out.
            out += static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f ? '?' : c;
        }
    }
    return out;
}

void element(std::string& out, int indent, std::string_view name, std::string_view value) {
    out.append(static_cast<std::size_t>(indent) * 2, ' ');
    out += "<";
    out += name;
    out += ">";
    out += value;
    out += "</";
    out += name;
    out += ">\n";
}

void open_tag(std::string& out, int indent, std::string_view tag) {
    out.append(static_cast<std::size_t>(indent) * 2, ' ');
    out += "<";
    out += tag;
    out += ">\n";
}

void close_tag(std::string& out, int indent, std::string_view name) {
    out.append(static_cast<std::size_t>(indent) * 2, ' ');
    out += "</";
    out += name;
    out += ">\n";
}

void units(std::string& out, int indent, std::string_view input, std::string_view output) {
    open_tag(out, indent, "InputUnits");
    element(out, indent + 1, "Name", input);
    close_tag(out, indent, "InputUnits");
    open_tag(out, indent, "OutputUnits");
    element(out, indent + 1, "Name", output);
    close_tag(out, indent, "OutputUnits");
}

void stage_gain(std::string& out, int indent, double value, double frequency) {
    open_tag(out, indent, "StageGain");
    element(out, indent + 1, "Value", number_text(value));
    element(out, indent + 1, "Frequency", number_text(frequency));
    close_tag(out, indent, "StageGain");
}

// The response: the instrument sensitivity; with the pendulum's period and
// damping, its poles and zeros as stage 1 (input unit to volts when the
// sensor's volts per unit are known, then stage 2 from volts to counts;
// else straight to counts). The stage gains multiply to the sensitivity.
void response(std::string& out, int i, const ChannelEntry& channel) {
    const auto& r = *channel.response;
    open_tag(out, i, "Response");
    open_tag(out, i + 1, "InstrumentSensitivity");
    element(out, i + 2, "Value", number_text(r.sensitivity));
    element(out, i + 2, "Frequency", number_text(r.frequency));
    units(out, i + 2, r.input_unit, "count");
    close_tag(out, i + 1, "InstrumentSensitivity");
    if (r.has_poles_zeros) {
        const bool volts = r.sensor_gain > 0;
        open_tag(out, i + 1, "Stage number=\"1\"");
        open_tag(out, i + 2, "PolesZeros");
        units(out, i + 3, r.input_unit, volts ? "V" : "count");
        element(out, i + 3, "PzTransferFunctionType", "LAPLACE (RADIANS/SECOND)");
        element(out, i + 3, "NormalizationFactor", number_text(r.normalization));
        element(out, i + 3, "NormalizationFrequency", number_text(r.frequency));
        int k = 0;
        for (int z = 0; z < r.zeros; ++z, ++k) {
            open_tag(out, i + 3, "Zero number=\"" + std::to_string(k) + "\"");
            element(out, i + 4, "Real", "0");
            element(out, i + 4, "Imaginary", "0");
            close_tag(out, i + 3, "Zero");
        }
        for (const auto& p : r.poles) {
            open_tag(out, i + 3, "Pole number=\"" + std::to_string(k++) + "\"");
            element(out, i + 4, "Real", number_text(p.real));
            element(out, i + 4, "Imaginary", number_text(p.imaginary));
            close_tag(out, i + 3, "Pole");
        }
        close_tag(out, i + 2, "PolesZeros");
        stage_gain(out, i + 2, volts ? r.sensor_gain : r.sensitivity, r.frequency);
        close_tag(out, i + 1, "Stage");
        if (volts) {
            open_tag(out, i + 1, "Stage number=\"2\"");
            open_tag(out, i + 2, "Coefficients");
            units(out, i + 3, "V", "count");
            element(out, i + 3, "CfTransferFunctionType", "DIGITAL");
            close_tag(out, i + 2, "Coefficients");
            open_tag(out, i + 2, "Decimation");
            element(out, i + 3, "InputSampleRate", number_text(channel.rate));
            element(out, i + 3, "Factor", "1");
            element(out, i + 3, "Offset", "0");
            element(out, i + 3, "Delay", "0");
            element(out, i + 3, "Correction", "0");
            close_tag(out, i + 2, "Decimation");
            stage_gain(out, i + 2, r.sensitivity / r.sensor_gain, r.frequency);
            close_tag(out, i + 1, "Stage");
        }
    }
    close_tag(out, i, "Response");
}

std::string station_xml(const Inventory& inv, const std::vector<const ChannelEntry*>& channels,
                        Level level, std::int64_t now_us) {
    const auto& codes = inv.codes;
    const double latitude = inv.coordinates ? inv.coordinates->latitude : 0;
    const double longitude = inv.coordinates ? inv.coordinates->longitude : 0;
    std::string out;
    out.reserve(4096 + channels.size() * 4096);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.2\">\n";
    element(out, 1, "Source", "TERRAWAVE station " + codes.network + "." + codes.station);
    element(out, 1, "Module", "TERRAWAVE V.02.22");
    element(out, 1, "Created", fdsn_time_text(now_us));
    const std::string epoch = " startDate=\"" + fdsn_time_text(inv.start_us) + "\"";
    open_tag(out, 1, "Network code=\"" + escaped(codes.network) + "\"" + epoch);
    element(out, 2, "Description", "TERRAWAVE station network " + escaped(codes.network));
    element(out, 2, "TotalNumberStations", "1");
    element(out, 2, "SelectedNumberStations", "1");
    if (level != Level::network) {
        open_tag(out, 2, "Station code=\"" + escaped(codes.station) + "\"" + epoch);
        if (!inv.coordinates) {
            open_tag(out, 3, "Comment");
            element(out, 4, "Value", "The station's coordinates are not known: latitude and "
                                     "longitude 0 stand for none.");
            close_tag(out, 3, "Comment");
        }
        element(out, 3, "Latitude", number_text(latitude));
        element(out, 3, "Longitude", number_text(longitude));
        element(out, 3, "Elevation", number_text(inv.elevation));
        open_tag(out, 3, "Site");
        element(out, 4, "Name", escaped(inv.site));
        close_tag(out, 3, "Site");
        element(out, 3, "TotalNumberChannels", std::to_string(inv.channels.size()));
        element(out, 3, "SelectedNumberChannels", std::to_string(channels.size()));
        if (level == Level::channel || level == Level::response) {
            for (const ChannelEntry* c : channels) {
                open_tag(out, 3, "Channel code=\"" + c->code + "\" locationCode=\"" +
                                 escaped(codes.location) + "\"" + epoch);
                element(out, 4, "Latitude", number_text(latitude));
                element(out, 4, "Longitude", number_text(longitude));
                element(out, 4, "Elevation", number_text(inv.elevation));
                element(out, 4, "Depth", "0");
                if (c->azimuth) element(out, 4, "Azimuth", number_text(*c->azimuth));
                if (c->dip) element(out, 4, "Dip", number_text(*c->dip));
                element(out, 4, "SampleRate", number_text(c->rate));
                if (level == Level::response && c->response) response(out, 4, *c);
                close_tag(out, 3, "Channel");
            }
        }
        close_tag(out, 2, "Station");
    }
    close_tag(out, 1, "Network");
    out += "</FDSNStationXML>\n";
    return out;
}

std::string station_text(const Inventory& inv, const std::vector<const ChannelEntry*>& channels,
                         Level level) {
    const auto& codes = inv.codes;
    const std::string lat = inv.coordinates ? number_text(inv.coordinates->latitude) : "";
    const std::string lon = inv.coordinates ? number_text(inv.coordinates->longitude) : "";
    const std::string elevation = number_text(inv.elevation);
    const std::string start = fdsn_time_text(inv.start_us);
    std::string out;
    if (level == Level::network) {
        out += "#Network|Description|StartTime|EndTime|TotalStations\n";
        out += codes.network + "|TERRAWAVE station network " + codes.network + "|" + start + "||1\n";
    } else if (level == Level::station) {
        out += "#Network|Station|Latitude|Longitude|Elevation|SiteName|StartTime|EndTime\n";
        out += codes.network + "|" + codes.station + "|" + lat + "|" + lon + "|" + elevation + "|" +
               escaped(inv.site) + "|" + start + "|\n";
    } else {
        out += "#Network|Station|Location|Channel|Latitude|Longitude|Elevation|Depth|Azimuth|Dip|"
               "SensorDescription|Scale|ScaleFreq|ScaleUnits|SampleRate|StartTime|EndTime\n";
        for (const ChannelEntry* c : channels) {
            const auto& r = c->response;
            out += codes.network + "|" + codes.station + "|" + codes.location + "|" + c->code + "|" +
                   lat + "|" + lon + "|" + elevation + "|0|" +
                   (c->azimuth ? number_text(*c->azimuth) : "") + "|" +
                   (c->dip ? number_text(*c->dip) : "") + "|" + "TERRAWAVE channel " +
                   std::to_string(c->board_channel) + "|" +
                   (r ? number_text(r->sensitivity) : "") + "|" + (r ? number_text(r->frequency) : "") +
                   "|" + (r ? r->input_unit : "") + "|" + number_text(c->rate) + "|" + start + "|\n";
        }
    }
    return out;
}

}  // namespace

HttpResponse station_query(const Query& query, const Inventory& inventory, std::int64_t now_us) {
    if (!query.error.empty()) return text_response(400, query.error);
    const auto read = read_selection(
        query, {"level", "format", "includerestricted", "includeavailability", "matchtimeseries",
                "minlatitude", "minlat", "maxlatitude", "maxlat", "minlongitude", "minlon",
                "maxlongitude", "maxlon"});
    if (!read.error.empty()) return text_response(400, read.error);
    const Selection& s = read.selection;

    Level level = Level::station;
    if (const auto v = query.get("level")) {
        if (*v == "network") level = Level::network;
        else if (*v == "station") level = Level::station;
        else if (*v == "channel") level = Level::channel;
        else if (*v == "response") level = Level::response;
        else return text_response(400, "level must be network, station, channel or response");
    }
    const std::string format = query.get("format").value_or("xml");
    if (format != "xml" && format != "text")
        return text_response(400, "format must be xml or text");
    if (format == "text" && level == Level::response)
        return text_response(400, "the text format has no response level");
    for (const char* name : {"includerestricted", "includeavailability", "matchtimeseries"}) {
        const auto v = query.get(name);
        if (v && *v != "true" && *v != "false")
            return text_response(400, std::string(name) + " must be true or false");
    }
    // The geographic box: the station must lie inside it.
    struct Bound {
        const char* name;
        const char* short_name;
        double limit;
        bool minimum;
        bool latitude;
    };
    bool inside = true;
    for (const Bound& b : {Bound{"minlatitude", "minlat", -90, true, true},
                           Bound{"maxlatitude", "maxlat", 90, false, true},
                           Bound{"minlongitude", "minlon", -180, true, false},
                           Bound{"maxlongitude", "maxlon", 180, false, false}}) {
        const auto v = query.get(b.name, b.short_name);
        if (!v) continue;
        char* end = nullptr;
        const double value = std::strtod(v->c_str(), &end);
        if (v->empty() || *end != '\0' || !std::isfinite(value) || std::fabs(value) > std::fabs(b.limit))
            return text_response(400, std::string(b.name) + " must be a number of degrees");
        if (!inventory.coordinates) {
            inside = false;
            continue;
        }
        const double at = b.latitude ? inventory.coordinates->latitude : inventory.coordinates->longitude;
        if (b.minimum ? at < value : at > value) inside = false;
    }

    const auto& codes = inventory.codes;
    std::vector<const ChannelEntry*> channels;
    // The epoch has no end: a window that ends before it matches nothing.
    if (s.end && *s.end <= inventory.start_us) inside = false;
    bool station_matches = inside && code_matches(s.network, codes.network) &&
                           code_matches(s.station, codes.station);
    if (station_matches) {
        const bool by_channel = s.location != "*" || s.channel != "*";
        for (const auto& c : inventory.channels)
            if (code_matches(s.location, codes.location) && code_matches(s.channel, c.code))
                channels.push_back(&c);
        // A station is listed when a channel matches, or when the channels
        // were not asked for.
        if (channels.empty() && (by_channel || level == Level::channel || level == Level::response))
            station_matches = false;
    }
    if (!station_matches) {
        if (s.nodata == 204) return text_response(204, "");
        return text_response(404, "No station or channel matches the request.");
    }
    HttpResponse response;
    if (format == "xml") {
        response.content_type = "application/xml";
        response.body = station_xml(inventory, channels, level, now_us);
    } else {
        response.body = station_text(inventory, channels, level);
    }
    return response;
}

}  // namespace tw::web

namespace tw::web {

namespace {

std::string wadl(const char* service, const char* parameters, const char* media) {
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<application xmlns=\"http://wadl.dev.java.net/2009/02\" "
               "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">\n"
               "  <resources base=\"/fdsnws/") +
           service +
           "/1/\">\n"
           "    <resource path=\"query\">\n"
           "      <method name=\"GET\">\n"
           "        <request>\n" +
           parameters +
           "          <param name=\"nodata\" style=\"query\" type=\"xsd:int\" default=\"204\">\n"
           "            <option value=\"204\"/>\n"
           "            <option value=\"404\"/>\n"
           "          </param>\n"
           "        </request>\n"
           "        <response status=\"200\">" +
           media +
           "</response>\n"
           "        <response status=\"204 400 404 413 500 503\">"
           "<representation mediaType=\"text/plain\"/></response>\n"
           "      </method>\n"
           "    </resource>\n"
           "    <resource path=\"version\"><method name=\"GET\"><response>"
           "<representation mediaType=\"text/plain\"/></response></method></resource>\n"
           "    <resource path=\"application.wadl\"><method name=\"GET\"><response>"
           "<representation mediaType=\"application/xml\"/></response></method></resource>\n"
           "  </resources>\n"
           "</application>\n";
}

constexpr const char* selection_parameters =
    "          <param name=\"starttime\" style=\"query\" type=\"xsd:dateTime\"/>\n"
    "          <param name=\"endtime\" style=\"query\" type=\"xsd:dateTime\"/>\n"
    "          <param name=\"network\" style=\"query\" type=\"xsd:string\"/>\n"
    "          <param name=\"station\" style=\"query\" type=\"xsd:string\"/>\n"
    "          <param name=\"location\" style=\"query\" type=\"xsd:string\"/>\n"
    "          <param name=\"channel\" style=\"query\" type=\"xsd:string\"/>\n";

}  // namespace

std::string station_wadl() {
    return wadl("station",
                (std::string(selection_parameters) +
                 "          <param name=\"minlatitude\" style=\"query\" type=\"xsd:double\"/>\n"
                 "          <param name=\"maxlatitude\" style=\"query\" type=\"xsd:double\"/>\n"
                 "          <param name=\"minlongitude\" style=\"query\" type=\"xsd:double\"/>\n"
                 "          <param name=\"maxlongitude\" style=\"query\" type=\"xsd:double\"/>\n"
                 "          <param name=\"level\" style=\"query\" type=\"xsd:string\" default=\"station\">\n"
                 "            <option value=\"network\"/><option value=\"station\"/>\n"
                 "            <option value=\"channel\"/><option value=\"response\"/>\n"
                 "          </param>\n"
                 "          <param name=\"format\" style=\"query\" type=\"xsd:string\" default=\"xml\">\n"
                 "            <option value=\"xml\"/><option value=\"text\"/>\n"
                 "          </param>\n")
                    .c_str(),
                "<representation mediaType=\"application/xml\"/>"
                "<representation mediaType=\"text/plain\"/>");
}

std::string dataselect_wadl() {
    return wadl("dataselect",
                (std::string(selection_parameters) +
                 "          <param name=\"quality\" style=\"query\" type=\"xsd:string\"/>\n"
                 "          <param name=\"format\" style=\"query\" type=\"xsd:string\" default=\"miniseed\"/>\n")
                    .c_str(),
                "<representation mediaType=\"application/vnd.fdsn.mseed\"/>");
}

}  // namespace tw::web
