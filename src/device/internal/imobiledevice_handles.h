// Owning handles for the libimobiledevice clients, each with its free function as deleter, so
// that every early return of the connection code releases what it opened.
#pragma once

#include <memory>
#include <type_traits>

#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/mobilebackup2.h>
#include <libimobiledevice/notification_proxy.h>

namespace salvora::internal {

template <typename Handle, auto FreeFunction>
struct HandleDeleter {
  void operator()(Handle handle) const {
    if (handle != nullptr) FreeFunction(handle);
  }
};

template <typename Handle, auto FreeFunction>
using OwnedHandle =
    std::unique_ptr<std::remove_pointer_t<Handle>, HandleDeleter<Handle, FreeFunction>>;

using DevicePtr = OwnedHandle<idevice_t, idevice_free>;
using LockdownPtr = OwnedHandle<lockdownd_client_t, lockdownd_client_free>;
using ServicePtr = OwnedHandle<lockdownd_service_descriptor_t, lockdownd_service_descriptor_free>;
using NotificationProxyPtr = OwnedHandle<np_client_t, np_client_free>;
using AfcPtr = OwnedHandle<afc_client_t, afc_client_free>;
using MobileBackup2Ptr = OwnedHandle<mobilebackup2_client_t, mobilebackup2_client_free>;

}  // namespace salvora::internal
