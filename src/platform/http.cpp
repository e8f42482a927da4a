#include "platform/http.h"

namespace tw::platform {

const char* status_phrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Request Entity Too Large";
    case 414: return "URI Too Long";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Unknown";
    }
}

HttpResponse text_response(int status, const std::string& text) {
    HttpResponse response;
    response.status = status;
    if (status != 204) {
        response.body = std::to_string(status) + " " + status_phrase(status) + "\n\n" + text;
        if (response.body.back() != '\n') response.body += '\n';
    }
    return response;
}

}  // namespace tw::platform
