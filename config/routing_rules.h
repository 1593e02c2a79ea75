#ifndef CONFIG_ROUTING_RULES_H_
#define CONFIG_ROUTING_RULES_H_

#include <string>
#include <string_view>

namespace duzavide {

// Returns the eight routing rule lines of the core configuration, each indented
// by six spaces, joined by line feeds, with no line feed after the last.
// `dns_server_list` is the already rendered one-line JSON array of the chosen
// DNS servers; it is inserted unchanged as the "ip" list of the second rule.
// Pure function, safe from any thread.
std::string RenderRoutingRules(std::string_view dns_server_list);

}  // namespace duzavide

#endif  // CONFIG_ROUTING_RULES_H_
