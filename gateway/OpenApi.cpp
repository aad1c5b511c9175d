// The OpenAPI 3.0 description of every path, body, answer and error.
#include "gateway/OpenApi.h"

#include <nlohmann/json.hpp>

#include "gateway/Request.h"
#include "vexa-x86/version.h"

namespace gateway {

namespace {

using nlohmann::json;

json Int(int low, long long high, const char* what) {
  return json{{"type", "integer"}, {"minimum", low}, {"maximum", high}, {"description", what}};
}
json Text(const char* what) {
  return json{{"type", "string"}, {"maxLength", kMaxText}, {"description", what}};
}
json Colour() {
  return json{{"type", "string"}, {"enum", {"red", "green", "yellow"}}, {"default", "red"}};
}

// Each command's arguments, as MakeJob checks them.
json CommandBodies() {
  json b;
  auto obj = [](json props, std::vector<std::string> required) {
    json o{{"type", "object"}, {"additionalProperties", false}, {"properties", std::move(props)}};
    if (!required.empty()) o["required"] = required;
    return o;
  };
  b["play"] = obj({{"page", Int(0, 255, "the show page")}}, {"page"});
  b["start"] = obj(json::object(), {});
  b["stop"] = obj(json::object(), {});
  b["bright"] = obj({{"value1", Int(0, 255, "first value")}, {"value2", Int(0, 255, "second value")}},
                    {"value1", "value2"});
  b["relay"] = obj({{"relay", Int(1, 8, "the relay")},
                    {"action", {{"type", "string"}, {"enum", {"on", "off", "pulse"}}}},
                    {"units", Int(1, 16, "pulse only: its duration in relay time units")}},
                   {"relay", "action"});
  b["clock"] = obj(json::object(), {});
  b["text"] = obj({{"text", Text("the text (UTF-8, sent in GBK)")},
                   {"width", Int(8, 8192, "width in dots; the sign's by default")},
                   {"height", Int(1, 4096, "height in dots; the sign's by default")},
                   {"id", Int(0, 999999999, "the material number (1 by default): a newer text of the same number replaces a queued one")},
                   {"colour", Colour()},
                   {"colours", {{"type", "string"}, {"enum", {"red", "red-green", "full"}}}}},
                  {"text"});
  b["data"] = obj({{"field", Int(0, 255, "the collected data field")}, {"text", Text("the text")}, {"colour", Colour()}},
                  {"field", "text"});
  b["coord"] = obj({{"x", Int(0, 65535, "left edge in dots")}, {"y", Int(0, 65535, "top edge in dots")},
                    {"text", Text("the text")}, {"colour", Colour()}},
                   {"x", "y", "text"});
  b["voice"] = obj({{"text", Text("the words")}, {"voice_tag", Int(0, 99, "[vN] in front")},
                    {"sound", Int(1, 3, "a sound before the words")}, {"m_tag", Int(1, 2, "1 [m3], 2 [m51]")}},
                   {"text"});
  b["lineup"] = obj({{"slot", Int(0, 255, "the line-up slot")}, {"text", Text("the ticket")},
                     {"kind", Int(0, 255, "kind of line (1 by default)")}, {"unit", Int(0, 255, "unit address (1 by default)")},
                     {"bracketed", {{"type", "boolean"}, {"default", false}}}},
                    {"slot", "text"});
  b["bar"] = obj({{"text", Text("the text")}, {"colour", Colour()}}, {"text"});
  b["upload"] = obj(json::object(), {});
  return b;
}

json Document() {
  const json error{{"$ref", "#/components/schemas/Error"}};
  auto errorAnswer = [&](const char* what) {
    return json{{"description", what}, {"content", {{"application/json", {{"schema", error}}}}}};
  };
  const json result{{"$ref", "#/components/schemas/Request"}};
  const json answers{
      {"200", {{"description", "delivered: every sign's result"},
               {"content", {{"application/json", {{"schema", result}}}}}}},
      {"202", {{"description", "stored and queued (wait=false, or the wait ran out): read the id at /v1/commands/{id}"},
               {"content", {{"application/json", {{"schema", result}}}}}}},
      {"400", errorAnswer("malformed or out of range; nothing sent")},
      {"401", errorAnswer("no or a wrong bearer token; nothing sent")},
      {"404", errorAnswer("unknown sign, command or counter; nothing sent")},
      {"413", errorAnswer("a body over 64 KiB; nothing sent")},
      {"422", errorAnswer("a text GBK cannot encode (the character is named); nothing sent")},
      {"429", errorAnswer("a sign's queue is full; the drop is counted, nothing sent")},
      {"503", errorAnswer("a sign is offline and the hall says not to queue for it; nothing sent")}};
  const json waitParam{{"name", "wait"}, {"in", "query"}, {"required", false},
                       {"schema", {{"type", "boolean"}, {"default", true}}},
                       {"description", "false: answer 202 with an id as soon as the request is stored"}};
  json commands = CommandBodies();
  json oneOf = json::array();
  for (auto& [name, schema] : commands.items()) {
    (void)schema;
    oneOf.push_back({{"$ref", "#/components/schemas/command_" + name}});
  }
  json schemas{
      {"Error", {{"type", "object"}, {"required", {"error", "field"}},
                 {"properties", {{"error", {{"type", "string"}}}, {"field", {{"type", "string"}, {"description", "the field at fault"}}}}}}},
      {"Call", {{"type", "object"}, {"additionalProperties", false}, {"required", {"ticket", "counter"}},
                {"properties", {{"ticket", {{"type", "string"}, {"minLength", 1}, {"maxLength", kMaxTicket}}},
                                {"counter", {{"type", "integer"}, {"minimum", 0}, {"maximum", 9999}}}}}}},
      {"Result", {{"type", "object"},
                  {"properties", {{"sign", {{"type", "string"}}}, {"command", {{"type", "string"}}},
                                  {"job", {{"type", "integer"}}},
                                  {"state", {{"type", "string"}, {"enum", {"queued", "done", "replaced"}}}},
                                  {"result", {{"type", "integer"}, {"description", "0 accepted, 1 not sent, 2 no reply, 3 status 2, 4 status 3"}}},
                                  {"reason", {{"type", "string"}}}, {"ms", {{"type", "integer"}}},
                                  {"by", {{"type", "integer"}, {"description", "replaced: the request whose newer command replaced it"}}}}}}},
      {"Request", {{"type", "object"},
                   {"properties", {{"id", {{"type", "integer"}}}, {"state", {{"type", "string"}, {"enum", {"queued", "done"}}}},
                                   {"ok", {{"type", "boolean"}, {"description", "done: every sign accepted"}}},
                                   {"asked", {{"type", "object"}}},
                                   {"results", {{"type", "array"}, {"items", {{"$ref", "#/components/schemas/Result"}}}}}}}}},
      {"Sign", {{"type", "object"},
                {"properties", {{"name", {{"type", "string"}}}, {"where", {{"type", "string"}}},
                                {"availability", {{"type", "string"}, {"enum", {"unknown", "online", "offline"}}}},
                                {"failures_in_row", {{"type", "integer"}}},
                                {"last", {{"type", "object"}, {"nullable", true}}},
                                {"queued", {{"type", "integer"}}},
                                {"shows", {{"type", "object"}, {"description", "what each field should show now, by field (data:1, lineup:2, text:1, coord:0,16, bar)"}}}}}}}};
  for (auto& [name, schema] : commands.items()) schemas["command_" + name] = schema;
  const json bearer{{{"bearer", json::array()}}};
  json paths{
      {"/v1/call", {{"post", {{"summary", "Call a ticket to a counter: its line-up fields, data fields and bar screens, then the words on every sign that speaks"},
                              {"security", bearer}, {"parameters", {waitParam}},
                              {"requestBody", {{"required", true}, {"content", {{"application/json", {{"schema", {{"$ref", "#/components/schemas/Call"}}}}}}}}},
                              {"responses", answers}}}}},
      {"/v1/signs/{name}/{command}",
       {{"post", {{"summary", "One command to one sign, its arguments by name"},
                  {"security", bearer},
                  {"parameters", {{{"name", "name"}, {"in", "path"}, {"required", true}, {"schema", {{"type", "string"}}}},
                                  {{"name", "command"}, {"in", "path"}, {"required", true},
                                   {"schema", {{"type", "string"}, {"enum", CommandNames()}}}},
                                  waitParam}},
                  {"requestBody", {{"required", false}, {"content", {{"application/json", {{"schema", {{"oneOf", oneOf}}}}}}}}},
                  {"responses", answers}}}}},
      {"/v1/commands/{id}", {{"get", {{"summary", "A request's state and results"},
                                      {"parameters", {{{"name", "id"}, {"in", "path"}, {"required", true}, {"schema", {{"type", "integer"}}}}}},
                                      {"responses", {{"200", {{"description", "the request"}, {"content", {{"application/json", {{"schema", result}}}}}}},
                                                     {"404", errorAnswer("no such request")}}}}}}},
      {"/v1/signs", {{"get", {{"summary", "Every sign: availability, last result and reason, queue depth, what it shows"},
                              {"responses", {{"200", {{"description", "the signs"},
                                                      {"content", {{"application/json", {{"schema", {{"type", "array"}, {"items", {{"$ref", "#/components/schemas/Sign"}}}}}}}}}}}}}}}}},
      {"/health", {{"get", {{"summary", "Whether the gateway runs, and how many signs are online (no token)"},
                            {"security", json::array()},
                            {"responses", {{"200", {{"description", "running"}}}}}}}}},
      {"/metrics", {{"get", {{"summary", "Prometheus text: vexa_gateway_commands_total, vexa_gateway_command_seconds, vexa_gateway_queue_depth, vexa_gateway_drops_total, vexa_sign_up, vexa_gateway_http_responses_total"},
                             {"security", json::array()},
                             {"responses", {{"200", {{"description", "the metrics"}, {"content", {{"text/plain", {{"schema", {{"type", "string"}}}}}}}}}}}}}}},
      {"/openapi.json", {{"get", {{"summary", "This document"}, {"security", json::array()},
                                  {"responses", {{"200", {{"description", "OpenAPI 3.0"}}}}}}}}}};
  return json{{"openapi", "3.0.3"},
              {"info", {{"title", "vexa-gateway"}, {"version", VEXA_VERSION_STRING},
                        {"description", "The signs of a queue-calling hall as a service. Writes need Authorization: Bearer TOKEN."}}},
              {"paths", paths},
              {"components", {{"schemas", schemas},
                              {"securitySchemes", {{"bearer", {{"type", "http"}, {"scheme", "bearer"}}}}}}},
              {"security", bearer}};
}

}  // namespace

const std::string& OpenApiJson() {
  static const std::string* text = new std::string(Document().dump(2));
  return *text;
}

}  // namespace gateway
