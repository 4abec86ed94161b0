#ifndef BASE_OBSERVER_LIST_H_
#define BASE_OBSERVER_LIST_H_

#include <stddef.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "base/memory/weak_ptr.h"

namespace base {

// A list of observers of one thread that tolerates changes while it
// notifies: an observer removed during a notification is not told
// afterwards, and the list may even be destroyed by an observer it tells.
//   ObserverList<Watcher> watchers_;
//   watchers_.Notify(&Watcher::OnChanged, value);
template <class ObserverType>
class ObserverList {
 public:
  enum NotificationType {
    // Observers added during a notification are told too.
    NOTIFY_ALL = 0,
    // Only the observers present when the notification started are told.
    NOTIFY_EXISTING_ONLY = 1,
  };

  // Walks the observers for one notification. While any iterator lives,
  // removed observers leave a null entry behind, so indexes stay valid; the
  // last iterator to end compacts the list.
  class Iterator {
   public:
    explicit Iterator(ObserverList* list)
        : list_(list),
          list_ref_(list->weak_owner_.GetRef()),
          index_(0),
          max_index_(list->type_ == NOTIFY_EXISTING_ONLY
                         ? list->observers_.size()
                         : std::numeric_limits<size_t>::max()) {
      ++list_->notify_depth_;
    }
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;
    ~Iterator() {
      if (list_ref_.IsValid() && --list_->notify_depth_ == 0)
        list_->Compact();
    }

    // The next observer to tell, or null at the end or once the list is
    // gone.
    ObserverType* GetNext() {
      if (!list_ref_.IsValid())
        return nullptr;
      const std::vector<ObserverType*>& observers = list_->observers_;
      const size_t end = std::min(max_index_, observers.size());
      while (index_ < end && !observers[index_])
        ++index_;
      return index_ < end ? observers[index_++] : nullptr;
    }

   private:
    ObserverList* const list_;
    const WeakReference list_ref_;
    size_t index_;
    const size_t max_index_;
  };

  explicit ObserverList(NotificationType type = NOTIFY_ALL)
      : notify_depth_(0), type_(type) {}
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;
  ~ObserverList() = default;

  // Appends |observer| unless it is already in the list.
  void AddObserver(ObserverType* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) ==
        observers_.end()) {
      observers_.push_back(observer);
    }
  }

  void RemoveObserver(ObserverType* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end())
      return;
    if (notify_depth_ > 0)
      *it = nullptr;
    else
      observers_.erase(it);
  }

  bool might_have_observers() const { return !observers_.empty(); }

  // Calls |method| with |args| on each observer, in the order in which they
  // were added. Nothing happens when the list is empty. The list is touched
  // only through the iterator, which notices when an observer destroys it.
  template <typename Method, typename... Args>
  void Notify(Method method, const Args&... args) {
    if (observers_.empty())
      return;
    Iterator it(this);
    while (ObserverType* observer = it.GetNext())
      (observer->*method)(args...);
  }

 private:
  // Drops the entries of observers removed during notifications.
  void Compact() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                     observers_.end());
  }

  WeakReferenceOwner weak_owner_;
  std::vector<ObserverType*> observers_;
  int notify_depth_;
  const NotificationType type_;
};

}  // namespace base

#endif  // BASE_OBSERVER_LIST_H_
