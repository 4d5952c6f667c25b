// The one review list belongs to one session at a time: the session whose
// scan or review is under way, until its LIST reply is released or it
// closes. A bare LIST of another session meanwhile waits its turn here, in
// the order the LISTs came.
#pragma once

#include <cstddef>
#include <deque>

#include "gateway/MailGW.h"

namespace qb {

class TReviewQueue {
 public:
  // Gives the review to the session when nobody holds it and true; else the
  // session waits in line (once) and false.
  bool Claim(TMailGWClient& session);
  // The session gives the review back (or leaves the line). The next
  // waiting session that still exists is returned, now holding the review.
  TMailGWClient* Release(TMailGWClient& session);

  TMailGWClient* Holder() const { return holder_.Get(); }
  bool Holds(const TMailGWClient& session) const { return holder_.Is(&session); }
  // The sessions that wait and still exist.
  std::size_t Waiting() const;

 private:
  TSessionHandle holder_;
  std::deque<TSessionHandle> waiting_;
};

}  // namespace qb
