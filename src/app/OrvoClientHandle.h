#pragma once

#include <QPointer>

class OrvoClient;

// What the web application holds of a device client. The reference becomes null when the client
// is deleted (the device manager retires clients of detached devices), so a handle kept after
// the device went away never reaches freed memory; dropping the handle never deletes the client.
// GUI thread only.
class OrvoClientHandle
{
public:
    explicit OrvoClientHandle(OrvoClient *client);

    // The client, or null when there never was one or it is gone.
    OrvoClient *client() const;

private:
    QPointer<OrvoClient> m_client;
};
