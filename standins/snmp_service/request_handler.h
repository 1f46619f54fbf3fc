#pragma once
// Answers one decoded request through the hosted agents: routes each
// binding to the agent whose region covers it, walks on from region to
// region for GETNEXT and GETBULK, and maps the agents' SNMPv1 statuses to
// what an SNMPv1 or SNMPv2c agent must answer.
#include <winsock2.h>
#include <windows.h>

#include "snmp_codec.h"

// Responses never grow past this, so that they are never fragmented.
#define RESPONSE_LIMIT_BYTES 1472

// Encodes the response to request (GET, GETNEXT, GETBULK or SET) into
// response; returns its length, or 0 when there is nothing to send.
// writeAllowed: the request came with the write community.
size_t AnswerRequest(const SnmpMessage* request, BOOL writeAllowed, uint8_t* response, size_t capacity);
