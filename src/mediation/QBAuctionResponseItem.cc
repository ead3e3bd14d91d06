#include "mediation/QBAuctionResponseItem.h"

#include <cmath>
#include <limits>

#include "core/QBImpressionDataJson.h"
#include "mediation/QBAuctionResponseParams.h"

namespace {

platform::Error malformed(const std::string& what) {
  return platform::Error{kQBAuctionErrorDomain, QBAuctionErrorCode::kMalformedAnswer, what};
}

// A URL member may be one string or an array of strings; empty strings are
// dropped. False when the member has another shape.
bool readUrls(const platform::Json& entry, const char* key, std::vector<std::string>& out) {
  auto it = entry.find(key);
  if (it == entry.end() || it->is_null()) return true;
  if (it->is_string()) {
    if (!it->get_ref<const std::string&>().empty()) out.push_back(it->get<std::string>());
    return true;
  }
  if (!it->is_array()) return false;
  for (const auto& url : *it) {
    if (!url.is_string()) return false;
    if (!url.get_ref<const std::string&>().empty()) out.push_back(url.get<std::string>());
  }
  return true;
}

}  // namespace

std::shared_ptr<QBAuctionResponseItem> QBAuctionResponseItem::initWithProviderName(const std::string& providerName) {
  std::shared_ptr<QBAuctionResponseItem> item(new QBAuctionResponseItem());
  item->providerName_ = providerName;
  return item;
}

platform::Result<std::shared_ptr<QBAuctionResponseItem>> QBAuctionResponseItem::fromJson(
    platform::Json&& entry, const std::string& auctionId, bool requireInstance) {
  if (!entry.is_object()) return malformed("item is not an object");
  std::shared_ptr<QBAuctionResponseItem> item(new QBAuctionResponseItem());
  item->auctionId_ = auctionId;

  auto it = entry.find("instance");
  if (it != entry.end() && !it->is_null()) {
    if (!it->is_string()) return malformed("\"instance\" is not a string");
    item->providerName_ = std::move(it->get_ref<std::string&>());
  }
  if (requireInstance && item->providerName_.empty()) return malformed("\"instance\" is missing or empty");

  if ((it = entry.find("serverData")) != entry.end() && !it->is_null()) {
    if (!it->is_string()) return malformed("\"serverData\" is not a string");
    item->serverData_ = std::move(it->get_ref<std::string&>());
  }
  if ((it = entry.find("adData")) != entry.end() && !it->is_null()) {
    if (!it->is_object()) return malformed("\"adData\" is not an object");
    item->adData_ = std::move(*it);
  }
  if ((it = entry.find("price")) != entry.end() && !it->is_null()) {
    if (!it->is_number() || !std::isfinite(it->get<double>())) return malformed("\"price\" is not a number");
    item->price_ = it->get<double>();
  }
  if ((it = entry.find("cvValue")) != entry.end() && !it->is_null()) {
    if (!it->is_number_integer()) return malformed("\"cvValue\" is not an integer");
    // An unsigned number past int64 would read back as a negative one.
    const bool tooLarge =
        it->is_number_unsigned() && it->get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int>::max());
    const int64_t cv = tooLarge ? int64_t{0} : it->get<int64_t>();
    if (tooLarge || cv < std::numeric_limits<int>::min() || cv > std::numeric_limits<int>::max()) {
      return malformed("\"cvValue\" is out of range");
    }
    item->cvValue_ = static_cast<int>(cv);
  }
  if ((it = entry.find("impressionData")) != entry.end() && !it->is_null()) {
    if (!it->is_object()) return malformed("\"impressionData\" is not an object");
    item->impressionData_ = std::move(*it);
  }
  if (!readUrls(entry, "nurl", item->nurl_)) return malformed("\"nurl\" is not a string or array of strings");
  if (!readUrls(entry, "lurl", item->lurl_)) return malformed("\"lurl\" is not a string or array of strings");
  if (!readUrls(entry, "burl", item->burl_)) return malformed("\"burl\" is not a string or array of strings");
  if (!readUrls(entry, "impressionUrls", item->impressionUrls_)) {
    return malformed("\"impressionUrls\" is not a string or array of strings");
  }
  return item;
}

std::shared_ptr<QBImpressionData> QBAuctionResponseItem::impressionDataWithPlacement(
    const std::string& placementName) const {
  if (!impressionData_.is_object()) return nullptr;
  platform::Json data = impressionData_;
  data[QBImpressionData::kPlacement] = placementName;
  if (!data.contains(QBImpressionData::kAuctionId) && !auctionId_.empty()) {
    data[QBImpressionData::kAuctionId] = auctionId_;
  }
  return QBImpressionDataJson::initWithDictionary(data);
}

std::string QBAuctionResponseItem::description() const {
  std::string out = providerName_;
  if (price_) out += " price=" + platform::dumpJson(*price_);
  return out;
}
