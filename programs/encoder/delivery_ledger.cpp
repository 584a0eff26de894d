#include "programs/encoder/delivery_ledger.h"

void DeliveryLedger::StartWaitOnce(Clock::time_point now) {
    if (!waitStarted_) lastDelivered_ = now;
    waitStarted_ = true;
}

void DeliveryLedger::NewConnection(uint64_t buffersHold) {
    buffersHold_ = buffersHold;
    written_ = 0;
    unsure_.clear();
    surelyRead_ = lastDelivered_;
}

void DeliveryLedger::Written(uint64_t bytes, Clock::time_point now) {
    lastDelivered_ = now;
    written_ += bytes;
    unsure_.push_back(Frame{written_, now});
    while (!unsure_.empty() && unsure_.front().end + buffersHold_ <= written_) {
        surelyRead_ = unsure_.front().at;
        unsure_.pop_front();
    }
}
