#pragma once

#include <boost/thread/future.hpp>

#include "crypto/CRLStatusItem.h"

namespace Crypto {

// The future of a revocation-list download task.
using CRLFuture = boost::unique_future<CRLStatusItem>;
using CRLTask = boost::packaged_task<CRLStatusItem>;

}  // namespace Crypto
