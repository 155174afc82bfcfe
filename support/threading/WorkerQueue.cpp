#include "support/threading/WorkerQueue.h"

#include <new>

namespace KUtils {

WorkerQueue::~WorkerQueue() {
  for (Node* list : {head, freeNodes}) {
    while (list) {
      Node* following = list->next;
      delete list;
      list = following;
    }
  }
}

bool WorkerQueue::post(int message) {
  {
    std::lock_guard<std::mutex> guard(lock);
    Node* node = freeNodes;
    if (node) {
      freeNodes = node->next;
    } else {
      node = new (std::nothrow) Node;
      if (!node) return false;
    }
    node->message = message;
    node->next = nullptr;
    if (tail) {
      tail->next = node;
    } else {
      head = node;
    }
    tail = node;
  }
  available.set();
  return true;
}

int WorkerQueue::take() {
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (Node* node = head) {
        head = node->next;
        if (!head) tail = nullptr;
        const int message = node->message;
        node->next = freeNodes;
        freeNodes = node;
        return message;
      }
    }
    // A post between the check and this wait leaves the event signalled, so nothing is missed.
    available.wait();
  }
}

}  // namespace KUtils
