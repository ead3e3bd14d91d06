#pragma once
// The application's impression-data listeners: a thread-safe set of weakly
// held QBImpressionDataDelegate objects, shared by the SDK object and the
// ad-unit managers. A listener that has gone away drops out by itself.
#include <memory>
#include <mutex>
#include <vector>

#include "quillborne/QBImpressionDataDelegate.h"

class QBImpressionDataDelegates {
 public:
  // Adds `delegate` (held weakly); false when it is null or already a member.
  bool addDelegate(const std::shared_ptr<QBImpressionDataDelegate>& delegate);
  // Removes `delegate`; false when it was not a member.
  bool removeDelegate(const std::shared_ptr<QBImpressionDataDelegate>& delegate);
  void removeAllDelegates();
  // The live members, in the order they were added.
  std::vector<std::shared_ptr<QBImpressionDataDelegate>> allDelegates() const;
  size_t count() const { return allDelegates().size(); }
  // Tells every live member impressionDataDidSucceed(data), on the calling
  // thread and outside the set's lock, in the order they were added. Nothing
  // happens for null data.
  void impressionDataDidSucceed(const std::shared_ptr<QBImpressionData>& data) const;

 private:
  mutable std::mutex mutex_;
  mutable std::vector<std::weak_ptr<QBImpressionDataDelegate>> delegates_;
};
