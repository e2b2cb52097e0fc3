#pragma once

#include <QObject>

#include "ZelvaneMac/Window/AppServices.hpp"

namespace zelvane {

// The program's update checker and portable mode as one window holds them: none until the
// program hands them over (a window made by a test keeps none). Main thread only.
class WindowServices final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const AppServices& services() const { return services_; }
    UpdateChecker* updateChecker() const { return services_.updateChecker; }
    PortableMode* portableMode() const { return services_.portableMode; }
    void set(const AppServices& services) {
        services_ = services;
        emit changed();
    }

signals:
    void changed();

private:
    AppServices services_;
};

}  // namespace zelvane
