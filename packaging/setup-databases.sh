#!/bin/sh
# Makes the installation's two databases ready on the machine's MariaDB server, as the
# package's postinst (and dpkg-reconfigure lantrove) runs it as root:
#   - the account of the system user lantrove, identified by the server's socket, with every
#     right on dovrik and ipdata (and nothing else);
#   - the two data sources in /etc/lantrove/odbc.ini (the local server, through its socket);
#   - each database that is missing or half made, and holds nothing an administrator put there,
#     initialised; one that holds such data is left alone and reported;
#   - then the upgrade of the log database, which keeps every row.
# Nothing here drops data. A server that does not answer is reported and the step is left for
# later: the package stays installed.
set -eu

config=/etc/lantrove
programs=/usr/lib/lantrove
user=lantrove
socket=$(sed -n 's/^socket=//p' "$config/server.ini" 2>/dev/null | tail -n 1)
socket=${socket:-/run/mysqld/mysqld.sock}

say() { echo "lantrove: $*"; }
as_user() { runuser -u "$user" -- env QT_QPA_PLATFORM=offscreen "$@"; }

if ! mariadb --protocol=socket -S "$socket" -e 'SELECT 1' >/dev/null 2>&1; then
    say "数据库服务器（$socket）没有应答，数据库未建立。启动 MariaDB 后运行：dpkg-reconfigure lantrove" >&2
    exit 0
fi

# /etc/mysql/mariadb.conf.d/60-lantrove.cnf takes effect when the server starts.
lower=$(mariadb --protocol=socket -S "$socket" -N -e 'SELECT @@lower_case_table_names')
if [ "$lower" != 1 ] && [ -d /run/systemd/system ]; then
    deb-systemd-invoke restart mariadb.service || true
    lower=$(mariadb --protocol=socket -S "$socket" -N -e 'SELECT @@lower_case_table_names' || :)
fi
if [ "$lower" != 1 ]; then
    say "数据库服务器尚未按 60-lantrove.cnf 设置（lower_case_table_names=1），数据库未建立。重启 MariaDB 后运行：dpkg-reconfigure lantrove" >&2
    exit 1
fi

mariadb --protocol=socket -S "$socket" <<SQL
CREATE DATABASE IF NOT EXISTS dovrik;
CREATE DATABASE IF NOT EXISTS ipdata;
CREATE USER IF NOT EXISTS '$user'@'localhost' IDENTIFIED VIA unix_socket;
GRANT ALL PRIVILEGES ON dovrik.* TO '$user'@'localhost';
GRANT ALL PRIVILEGES ON ipdata.* TO '$user'@'localhost';
SQL

# The data sources are written by the provisioner itself (as the window's registration does).
env QT_QPA_PLATFORM=offscreen "$programs/provisioner" --register 0.0.0.0 >/dev/null
chgrp "$user" "$config/odbc.ini" && chmod 0664 "$config/odbc.ini"

status=0
for part in log config; do
    code=0
    as_user "$programs/provisioner" --check "$part" >/dev/null 2>&1 || code=$?
    case $code in
    0) ;;
    4) as_user "$programs/provisioner" --init "$part" --yes || status=1 ;;
    5) say "数据库（$part）未完全初始化，但已有管理员的数据，未做改动；请用 provisioner 检查" >&2
       status=1 ;;
    *) say "无法检查数据库（$part），退出码 $code" >&2; status=1 ;;
    esac
done
as_user "$programs/provisioner" --upgrade || status=1
exit $status
