#include "config/routing_rules.h"

namespace duzavide {
namespace {

// The vendor's online services go direct: main site, sign-in and identity,
// office suite and its content hosts, web mail, collaboration, file storage
// and the cloud platform, in that order.
constexpr char kVendorServiceDomains[] =
    "\"domain:microsoft.com\", "
    "\"domain:live.com\", \"domain:microsoftonline.com\", \"domain:msauth.net\", "
    "\"domain:msftauth.net\", \"domain:msidentity.com\", "
    "\"domain:office.com\", \"domain:office365.com\", \"domain:microsoft365.com\", "
    "\"domain:office.net\", "
    "\"domain:outlook.com\", \"domain:sharepoint.com\", \"domain:onedrive.com\", "
    "\"domain:azure.com\"";

}  // namespace

std::string RenderRoutingRules(std::string_view dns_server_list) {
  std::string out;
  out.reserve(1024 + dns_server_list.size());
  out +=
      "      { \"type\": \"field\", \"inboundTag\": [\"tun-in\"], \"port\": \"53\", "
      "\"outboundTag\": \"dns-out\" },\n"
      "      { \"type\": \"field\", \"ip\": ";
  out += dns_server_list;
  out +=
      ", \"outboundTag\": \"proxy\" },\n"
      "      { \"type\": \"field\", \"inboundTag\": [\"wg-tcp-in\"], \"outboundTag\": \"proxy\" "
      "},\n"
      "      { \"type\": \"field\", \"domain\": [\"geosite:microsoft\", ";
  out += kVendorServiceDomains;
  out +=
      "], \"outboundTag\": \"direct\" },\n"
      "      { \"type\": \"field\", \"ip\": [\"10.0.0.0/8\", \"172.16.0.0/12\", "
      "\"192.168.0.0/16\", \"100.64.0.0/10\"], \"outboundTag\": \"direct\" },\n"
      "      { \"type\": \"field\", \"ip\": [\"geoip:cn\"], \"outboundTag\": \"direct\" },\n"
      "      { \"type\": \"field\", \"domain\": [\"geosite:cn\"], \"outboundTag\": \"direct\" },\n"
      "      { \"type\": \"field\", \"inboundTag\": [\"tun-in\"], \"outboundTag\": \"wg-out\" }";
  return out;
}

}  // namespace duzavide
