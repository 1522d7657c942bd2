#include "app/OrvoClientHandle.h"

#include "device/OrvoClient.h"

OrvoClientHandle::OrvoClientHandle(OrvoClient *client)
    : m_client(client)
{}

OrvoClient *OrvoClientHandle::client() const
{
    return m_client.data();
}
