#!/usr/bin/env bash
# make demo: the road of an invoice, on this machine.
#
# Builds the library, the local service simulator and the sample host; starts
# the simulator on loopback (HTTPS, with a certificate it generates) with a
# freshly generated technical user; writes a Kelvo.Communication.dll.config
# into a new working folder (the log and the response archive go there too);
# runs the sample host there, which loads the library with dlopen like a real
# host; then stops the simulator. The working folder is kept for a look at
# the log and the archive.
#
#   bash scripts/demo.sh [BUILD_DIR]     (default: build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_arg=${1:-build}
case $build_arg in
  /*) build=$build_arg ;;
  *) build=$root/$build_arg ;;
esac

echo "== Building the library, the simulator and the sample host in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target KelvoCommunication kelvo-simulator sample-host -j "$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-demo.XXXXXX")
simulator_pid=
stop_simulator() {
  if [[ -n $simulator_pid ]] && kill -0 "$simulator_pid" 2>/dev/null; then
    kill "$simulator_pid" 2>/dev/null || true
    wait "$simulator_pid" 2>/dev/null || true
  fi
  simulator_pid=
}
trap stop_simulator EXIT

# A technical user of our own making; nothing here is a real credential.
random_text() {
  local text
  text=$(head -c 1024 /dev/urandom | LC_ALL=C tr -dc 'A-Za-z0-9')
  printf '%s' "${text:0:$1}"
}
login=demo$(random_text 8 | tr 'A-Z' 'a-z')
password=$(random_text 16)
sign_key=$(random_text 32)
exchange_key=$(random_text 16)   # 16 characters: AES-128
tax_number=12345676              # the supplier of the demo invoices

umask 077
cat >"$work/users.ini" <<USERS
[user]
login = $login
password = $password
signKey = $sign_key
exchangeKey = $exchange_key
taxNumber = $tax_number
USERS
cat >"$work/credentials" <<CREDENTIALS
login = $login
password = $password
signKey = $sign_key
exchangeKey = $exchange_key
taxNumber = $tax_number
customerTaxNumber = 24587193
CREDENTIALS

simulator_args=(--https --write-cert "$work/simulator-cert.pem" --users "$work/users.ini")
if [[ -d $root/../shared/schemas/api-3.0 ]]; then
  simulator_args+=(--schemas "$root/../shared/schemas")  # every request checked against the schemas
fi
echo "== Starting the service simulator on 127.0.0.1"
"$build/kelvo-simulator" "${simulator_args[@]}" >"$work/simulator.out" 2>"$work/simulator.err" &
simulator_pid=$!
service_url=
for _ in $(seq 1 100); do
  if read -r word url _ <"$work/simulator.out" 2>/dev/null && [[ $word == LISTENING ]]; then
    service_url=$url
    break
  fi
  kill -0 "$simulator_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $service_url ]]; then
  echo "The simulator did not start:" >&2
  cat "$work/simulator.err" >&2
  exit 1
fi
echo "   service at $service_url"

mkdir -p "$work/archive"
cat >"$work/Kelvo.Communication.dll.config" <<CONFIG
<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <appSettings>
    <add key="loggerPath" value="$work/kelvo.log" />
    <add key="xmlPath" value="$work/archive/" />
    <add key="cipherMode" value="ECB" />
    <add key="showInConsole" value="false" />
    <add key="softwareId" value="HU12345676-KELVO01" />
    <add key="softwareName" value="Kelvo sample host" />
    <add key="softwareOperation" value="LOCAL_SOFTWARE" />
    <add key="softwareMainVersion" value="1.0" />
    <add key="softwareDevName" value="Kelvo" />
    <add key="softwareDevContact" value="developers@example.com" />
    <add key="softwareDevCountryCode" value="HU" />
    <add key="softwareDevTaxNumber" value="12345676" />
    <add key="osaUri" value="$service_url/invoiceService/v3" />
    <add key="operationTokenExchange" value="/tokenExchange" />
    <add key="operationManageInvoice" value="/manageInvoice" />
    <add key="operationManageAnnulment" value="/manageAnnulment" />
    <add key="operationQueryTransactionStatus" value="/queryTransactionStatus" />
    <add key="operationQueryTaxpayer" value="/queryTaxpayer" />
    <add key="operationQueryInvoiceData" value="/queryInvoiceData" />
    <add key="operationQueryInvoiceDigest" value="/queryInvoiceDigest" />
    <add key="caBundlePath" value="$work/simulator-cert.pem" />
  </appSettings>
</configuration>
CONFIG

echo "== Running the sample host in $work"
status=0
(cd "$work" && "$build/sample-host" "$build/Kelvo.Communication.so" credentials \
    "$root/tools/sample-host/invoices/invoice-1.xml" "$root/tools/sample-host/invoices/invoice-2.xml") || status=$?

stop_simulator
echo
echo "== The simulator is stopped. Log: $work/kelvo.log; response archive: $work/archive/"
exit $status
