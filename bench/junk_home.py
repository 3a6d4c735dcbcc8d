#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A realistic home of many applications, with junk planted beside what people keep.

  junk_home.py make DIR [--scale N]     builds the home in DIR (which must not exist) and writes
                                       DIR.manifest.json: every planted file, as "junk" (what a
                                       cleaner should find) or "personal" (documents, settings,
                                       bookmarks, site data, credentials, histories, environments:
                                       what the user keeps), with its size and SHA-256.
  junk_home.py measure DIR --cli PATH [--clean] [--rounds N]
                                       scans modules 1 and 2 with spruce-cli --home DIR and says how
                                       much of the planted junk the findings cover and how many
                                       personal bytes lie inside them; with --clean, cleans everything
                                       (every category ticked) and checks every personal file byte
                                       for byte and what junk is left. Exit 1 when a personal byte is
                                       changed or gone, or (with --strict) when the scan misses planted junk.
  junk_home.py bleachbit DIR          the same measurement for BleachBit's preview (deletes nothing).

Junk files are sparse (their size is logical, as a scan counts it); personal files hold random
bytes so any change shows in their hash. Only ever run on a home of its own making.
"""
import argparse
import hashlib
import json
import os
import stat
import subprocess
import sys
import time

MiB = 1024 * 1024
KiB = 1024

SIGNATURE = b"Signature: 8a477f597d28d172789f06886806bc55\n"

CHROMIUM_PROFILE_JUNK = ["GPUCache/data_1", "Code Cache/js/index-dir/the-real-index", "Code Cache/wasm/index",
                         "Service Worker/CacheStorage/abc/0123_0", "Service Worker/ScriptCache/index",
                         "DawnCache/data_0", "GraphiteDawnCache/data_0", "DawnWebGPUCache/data_0"]
CHROMIUM_PROFILE_PERSONAL = ["Bookmarks", "History", "Preferences", "Cookies", "Login Data", "Web Data",
                             "Local Storage/leveldb/000003.log", "IndexedDB/https_app.example_0.indexeddb.leveldb/000005.ldb",
                             "File System/000/p/00/00000000", "Extensions/abc/1.0/manifest.json",
                             "Session Storage/000004.log"]
CHROMIUM_TOP_JUNK = ["ShaderCache/data_0", "GrShaderCache/data_1", "GraphiteDawnCache/data_0"]
CHROMIUM_TOP_PERSONAL = ["Local State", "First Run"]


class Home:
    def __init__(self, root, scale):
        self.root = root
        self.scale = scale
        self.files = []  # {"path", "kind", "app", "size"}

    def _write(self, rel, size, kind, app, data=None, mode=None):
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if data is not None:
            with open(path, "wb") as f:
                f.write(data)
            size = len(data)
        elif kind == "junk":
            with open(path, "wb") as f:
                f.truncate(size)
        else:
            with open(path, "wb") as f:
                f.write(os.urandom(size))
        if mode is not None:
            os.chmod(path, mode)
        self.files.append({"path": path, "kind": kind, "app": app, "size": size})
        return path

    def junk(self, app, rel, size=256 * KiB, **kw):
        return self._write(rel, int(size * self.scale) if size > 4 * KiB else size, "junk", app, **kw)

    def personal(self, app, rel, size=2 * KiB, **kw):
        return self._write(rel, size, "personal", app, **kw)

    def tag(self, app, folder, kind):
        self._write(os.path.join(folder, "CACHEDIR.TAG"), 0, kind, app, data=SIGNATURE)

    def link(self, rel, target):
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        os.symlink(target, path)


def chromium_browser(h, app, base, profiles=("Default", "Profile 1")):
    for profile in profiles:
        for rel in CHROMIUM_PROFILE_JUNK:
            h.junk(app, f"{base}/{profile}/{rel}", 1 * MiB)
        for rel in CHROMIUM_PROFILE_PERSONAL:
            h.personal(app, f"{base}/{profile}/{rel}")
    for rel in CHROMIUM_TOP_JUNK:
        h.junk(app, f"{base}/{rel}", 512 * KiB)
    for rel in CHROMIUM_TOP_PERSONAL:
        h.personal(app, f"{base}/{rel}")


def electron_app(h, app, base, personal=("config.json",)):
    for rel in ["Cache/Cache_Data/data_1", "Cache/Cache_Data/f_000001", "Code Cache/js/index", "GPUCache/data_0",
                "DawnGraphiteCache/data_0", "Service Worker/CacheStorage/x/0", "Service Worker/ScriptCache/index",
                "logs/main.log", "Crashpad/completed/x.dmp", "CachedData/abc/chrome.js"]:
        h.junk(app, f"{base}/{rel}", 768 * KiB)
    h.personal(app, f"{base}/Local State")
    h.personal(app, f"{base}/Preferences")
    h.personal(app, f"{base}/Local Storage/leveldb/000003.log")
    h.personal(app, f"{base}/IndexedDB/file__0.indexeddb.leveldb/000003.log")
    h.personal(app, f"{base}/Cookies")
    for rel in personal:
        h.personal(app, f"{base}/{rel}")


def user_cache_junk(h, app, base):
    """What people's cache folders hold, junk and kept, below `base`."""
    h.junk(app, f"{base}/JetBrains/IdeaIC2024.1/caches/content.dat", 8 * MiB)
    h.junk(app, f"{base}/JetBrains/IdeaIC2024.1/index/stubs/x", 4 * MiB)
    h.junk(app, f"{base}/JetBrains/IdeaIC2024.1/log/idea.log", 1 * MiB)
    h.personal(app, f"{base}/JetBrains/IdeaIC2024.1/LocalHistory/changes.storageData", 40 * KiB)
    h.personal(app, f"{base}/JetBrains/IdeaIC2024.1/LocalHistory/changes.storageRecordIndex", 4 * KiB)


def make(root, scale):
    h = Home(root, scale)
    os.makedirs(root)

    # --- what everybody keeps --------------------------------------------------------------
    for rel in ["Documents/thesis.odt", "Documents/taxes/2025.pdf", "Pictures/holiday/img_001.jpg",
                "Music/album/01.flac", "Videos/birthday.mp4", "Desktop/todo.txt", "Templates/letter.ott",
                ".bashrc", ".profile", ".bash_history", ".gitconfig", ".ssh/id_ed25519", ".ssh/known_hosts",
                ".gnupg/pubring.kbx", ".gnupg/private-keys-v1.d/AB.key", ".pki/nssdb/cert9.db",
                ".local/share/keyrings/login.keyring", ".config/user-dirs.dirs.bak", ".xsession-errors",
                ".local/share/recently-used.xbel", ".config/monitors.xml"]:
        h.personal("home", rel, 8 * KiB)
    h.personal("home", ".config/user-dirs.dirs", data=b'XDG_DOWNLOAD_DIR="$HOME/Downloads"\nXDG_DOCUMENTS_DIR="$HOME/Documents"\n')
    # Downloads tagged on purpose, to keep it out of backups (borg --exclude-caches).
    h.tag("home", "Downloads", "personal")
    h.personal("home", "Downloads/debian-12.iso.part", 64 * KiB)
    h.junk("session", ".xsession-errors.old", 2 * MiB)
    h.junk("xorg", ".local/share/xorg/Xorg.0.log.old", 256 * KiB)
    h.personal("xorg", ".local/share/xorg/Xorg.0.log", 16 * KiB)
    h.junk("thumbnails", ".cache/thumbnails/large/abc.png", 3 * MiB)
    h.junk("thumbnails", ".thumbnails/normal/def.png", 1 * MiB)
    # The Trash: both halves go together.
    h.junk("trash", ".local/share/Trash/files/old-report.pdf", 5 * MiB)
    h._write(".local/share/Trash/info/old-report.pdf.trashinfo", 0, "junk", "trash",
             data=b"[Trash Info]\nPath=/home/ann/Documents/old-report.pdf\nDeletionDate=2025-01-01T10:00:00\n")

    # --- browsers ------------------------------------------------------------------------------
    chromium_browser(h, "chrome", ".config/google-chrome")
    h.junk("chrome", ".cache/google-chrome/Default/Cache/Cache_Data/data_1", 20 * MiB)
    chromium_browser(h, "chromium", ".config/chromium", ("Default",))
    h.junk("chromium", ".cache/chromium/Default/Cache/Cache_Data/data_1", 6 * MiB)
    chromium_browser(h, "brave", ".config/BraveSoftware/Brave-Browser", ("Default", "Profile 2"))
    chromium_browser(h, "edge", ".config/microsoft-edge")
    chromium_browser(h, "vivaldi", ".config/vivaldi", ("Default",))
    chromium_browser(h, "opera", ".config/opera", ("Default",))
    for profile in ("abcd1234.default-release",):
        for rel in ["places.sqlite", "key4.db", "logins.json", "cookies.sqlite", "prefs.js", "sessionstore.jsonlz4",
                    "storage/default/https+++app.example/idb/1.sqlite"]:
            h.personal("firefox", f".mozilla/firefox/{profile}/{rel}", 16 * KiB)
        h.junk("firefox", f".mozilla/firefox/{profile}/minidumps/a1b2.dmp", 2 * MiB)
        h.junk("firefox", f".cache/mozilla/firefox/{profile}/cache2/entries/0A1B", 12 * MiB)
        h.junk("firefox", f".cache/mozilla/firefox/{profile}/startupCache/scriptCache.bin", 2 * MiB)
    h.personal("firefox", ".mozilla/firefox/profiles.ini")
    h.junk("firefox", ".mozilla/firefox/Crash Reports/events/4f1e", 4 * KiB)
    h.junk("firefox", ".mozilla/firefox/Crash Reports/pending/x.dmp", 3 * MiB)
    h.personal("firefox", ".mozilla/firefox/Crash Reports/InstallTime20250101", data=b"1735725600")
    h.personal("thunderbird", ".thunderbird/xyz.default/ImapMail/imap.example/INBOX", 64 * KiB)
    h.personal("thunderbird", ".thunderbird/xyz.default/abook.sqlite", 8 * KiB)
    h.junk("thunderbird", ".thunderbird/xyz.default/minidumps/c3.dmp", 1 * MiB)
    h.junk("thunderbird", ".cache/thunderbird/xyz.default/cache2/entries/AB", 4 * MiB)

    # --- Snap ----------------------------------------------------------------------------------
    h.junk("snap-firefox", "snap/firefox/common/.cache/mozilla/firefox/p.default/cache2/entries/01", 24 * MiB)
    h.personal("snap-firefox", "snap/firefox/common/.mozilla/firefox/p.default/places.sqlite", 32 * KiB)
    h.personal("snap-firefox", "snap/firefox/common/.mozilla/firefox/p.default/logins.json", 4 * KiB)
    h.junk("snap-firefox", "snap/firefox/common/.mozilla/firefox/p.default/minidumps/d.dmp", 1 * MiB)
    h.link("snap/firefox/current", "5561")
    h.personal("snap-firefox", "snap/firefox/5561/.config/ibus/bus/x", 1 * KiB)
    h.junk("snap-chromium", "snap/chromium/common/.cache/chromium/Default/Cache/Cache_Data/data_1", 10 * MiB)
    h.personal("snap-chromium", "snap/chromium/common/chromium/Default/Bookmarks", 4 * KiB)
    h.personal("snap-chromium", "snap/chromium/common/chromium/Default/Login Data", 4 * KiB)
    h.junk("snap-spotify", "snap/spotify/common/.cache/spotify/Data/ab/cd.file", 30 * MiB)
    h.junk("snap-spotify", "snap/spotify/84/.cache/fontconfig/x.cache-8", 256 * KiB)
    h.link("snap/spotify/current", "84")
    h.personal("snap-spotify", "snap/spotify/84/.config/spotify/prefs", 2 * KiB)

    # --- Flatpak --------------------------------------------------------------------------------
    h.junk("flatpak-gimp", ".var/app/org.gimp.GIMP/cache/gimp/2.10/thumbs/x.png", 2 * MiB)
    h.junk("flatpak-gimp", ".var/app/org.gimp.GIMP/cache/fontconfig/y.cache-8", 512 * KiB)
    h.personal("flatpak-gimp", ".var/app/org.gimp.GIMP/config/GIMP/2.10/gimprc", 4 * KiB)
    h.personal("flatpak-gimp", ".var/app/org.gimp.GIMP/data/gimp/2.10/brushes/mine.gbr", 16 * KiB)
    h.junk("flatpak-spotify", ".var/app/com.spotify.Client/cache/spotify/Data/12/34.file", 40 * MiB)
    h.personal("flatpak-spotify", ".var/app/com.spotify.Client/config/spotify/prefs", 2 * KiB)
    h.junk("flatpak-slack", ".var/app/com.slack.Slack/cache/fontconfig/z.cache-8", 256 * KiB)
    electron_app(h, "flatpak-slack", ".var/app/com.slack.Slack/config/Slack", ("storage/root-state.json",))
    user_cache_junk(h, "flatpak-pycharm", ".var/app/com.jetbrains.PyCharm-Community/cache")
    h.personal("flatpak-pycharm", ".var/app/com.jetbrains.PyCharm-Community/config/JetBrains/PyCharmCE2024.1/options/ide.general.xml")
    h.junk("flatpak-discord", ".var/app/com.discordapp.Discord/cache/x/y", 1 * MiB)
    electron_app(h, "flatpak-discord", ".var/app/com.discordapp.Discord/config/discord", ("settings.json",))

    # --- Steam (the ~/.steam/steam link leads into the real folder) --------------------------------
    steam = ".local/share/Steam"
    h.junk("steam", f"{steam}/steamapps/shadercache/570/fozpipelinesv6/steam_pipeline_cache.foz", 60 * MiB)
    h.junk("steam", f"{steam}/steamapps/shadercache/730/DXVK_state_cache/cs2.dxvk-cache", 30 * MiB)
    h.junk("steam", f"{steam}/appcache/httpcache/0a/0a1b", 5 * MiB)
    h.junk("steam", f"{steam}/appcache/librarycache/570_header.jpg", 2 * MiB)
    h.junk("steam", f"{steam}/depotcache/571_123.manifest", 1 * MiB)
    h.junk("steam", f"{steam}/logs/content_log.txt", 3 * MiB)
    h.personal("steam", f"{steam}/steamapps/common/Dota 2/game/pak01_000.vpk", 256 * KiB)
    h.personal("steam", f"{steam}/steamapps/appmanifest_570.acf", 2 * KiB)
    h.personal("steam", f"{steam}/userdata/1234/570/remote/save.dat", 8 * KiB)
    h.personal("steam", f"{steam}/config/loginusers.vdf", 2 * KiB)
    h.personal("steam", f"{steam}/appcache/appinfo.vdf", 64 * KiB)
    h.link(".steam/steam", "../.local/share/Steam")
    h.link(".steam/root", "../.local/share/Steam")

    # --- Electron and chat applications in ~/.config ---------------------------------------------
    electron_app(h, "vscode", ".config/Code", ("User/settings.json", "User/globalStorage/state.vscdb",
                                               "User/workspaceStorage/ab/state.vscdb"))
    h.junk("vscode", ".config/Code/CachedExtensionVSIXs/ms-python.python-2024.1", 20 * MiB)
    h.junk("vscode", ".config/Code/CachedProfilesData/__default__profile__/extensions.builtin.cache", 256 * KiB)
    h.personal("vscode", ".vscode/extensions/ms-python.python-2024.1/package.json", 8 * KiB)
    electron_app(h, "slack", ".config/Slack", ("storage/root-state.json",))
    electron_app(h, "discord", ".config/discord", ("settings.json",))
    electron_app(h, "signal", ".config/Signal", ("config.json", "sql/db.sqlite", "attachments.noindex/ab/cdef"))
    electron_app(h, "obsidian", ".config/obsidian", ("obsidian.json",))
    electron_app(h, "element", ".config/Element", ("config.json",))
    electron_app(h, "teams", ".config/teams-for-linux", ("config.json",))
    h.junk("teams", ".config/teams-for-linux/Partitions/teams-4-linux/Cache/Cache_Data/data_1", 3 * MiB)
    h.junk("teams", ".config/teams-for-linux/Partitions/teams-4-linux/GPUCache/data_0", 512 * KiB)
    h.personal("teams", ".config/teams-for-linux/Partitions/teams-4-linux/IndexedDB/x/000003.log", 4 * KiB)
    h.personal("teams", ".config/teams-for-linux/Partitions/teams-4-linux/Local Storage/leveldb/000003.log", 4 * KiB)
    # Not Electron: a logs folder here is chat history, and a Cache folder is the user's.
    h.personal("hexchat", ".config/hexchat/logs/Libera.Chat/#debian.log", 32 * KiB)
    h.personal("hexchat", ".config/hexchat/hexchat.conf", 2 * KiB)
    h.personal("other", ".config/some-tool/Cache/notes.txt", 2 * KiB)
    h.personal("other", ".config/some-tool/logs/important.txt", 2 * KiB)
    # Telegram: the media cache goes, the session and settings stay.
    h.junk("telegram", ".local/share/TelegramDesktop/tdata/user_data/cache/0/AB/CDEF", 16 * MiB)
    h.junk("telegram", ".local/share/TelegramDesktop/tdata/user_data/media_cache/1/23", 8 * MiB)
    h.personal("telegram", ".local/share/TelegramDesktop/tdata/key_datas", 1 * KiB)
    h.personal("telegram", ".local/share/TelegramDesktop/tdata/D877F783D5D3EF8C/maps", 4 * KiB)
    h.personal("telegram", ".local/share/TelegramDesktop/tdata/settingss", 2 * KiB)

    # --- editors, recorders, Wine, Dropbox ---------------------------------------------------------
    h.junk("neovim", ".local/state/nvim/lsp.log", 50 * MiB)
    h.junk("neovim", ".local/state/nvim/log", 1 * MiB)
    h.personal("neovim", ".local/state/nvim/shada/main.shada", 16 * KiB)
    h.personal("neovim", ".local/state/nvim/undo/%home%ann%notes.md", 8 * KiB)
    h.personal("neovim", ".config/nvim/init.lua", 4 * KiB)
    h.junk("obs", ".config/obs-studio/logs/2025-01-01 10-00-00.txt", 1 * MiB)
    h.junk("obs", ".config/obs-studio/crashes/Crash 2025-01-01.txt", 256 * KiB)
    h.personal("obs", ".config/obs-studio/basic/scenes/Untitled.json", 8 * KiB)
    h.personal("obs", ".config/obs-studio/basic/profiles/Untitled/basic.ini", 2 * KiB)
    h.junk("wine", ".wine/drive_c/windows/temp/setup.tmp", 4 * MiB)
    h.personal("wine", ".wine/drive_c/users/ann/Documents/savegame.dat", 32 * KiB)
    h.personal("wine", ".wine/system.reg", 64 * KiB)
    h.junk("dropbox", "Dropbox/.dropbox.cache/2025-01-01/abc", 6 * MiB)
    h.personal("dropbox", "Dropbox/Work/report.docx", 48 * KiB)
    h.personal("dropbox", ".dropbox/info.json", 1 * KiB)

    # --- ~/.cache: junk beside what must stay -----------------------------------------------------
    user_cache_junk(h, "jetbrains", ".cache")
    h.personal("jetbrains", ".config/JetBrains/IdeaIC2024.1/options/editor.xml", 4 * KiB)
    h.junk("android-studio", ".cache/Google/AndroidStudio2024.1/caches/x", 6 * MiB)
    h.personal("android-studio", ".cache/Google/AndroidStudio2024.1/LocalHistory/changes.storageData", 16 * KiB)
    h.personal("ibus", ".cache/ibus/libpinyin/user.db", 64 * KiB)
    h.personal("ibus", ".cache/ibus/libzhuyin/user.db", 16 * KiB)
    h.junk("ibus", ".cache/ibus/bus/registry", 64 * KiB)
    h.junk("huggingface", ".cache/huggingface/hub/models--gpt2/blobs/abc", 40 * MiB)
    h.personal("huggingface", ".cache/huggingface/token", data=b"hf_abcdefghijklmnopqrstuvwxyz0123456789")
    h.personal("huggingface", ".cache/huggingface/stored_tokens", data=b"[work]\nhf_token = hf_zyx\n")
    h.junk("poetry", ".cache/pypoetry/cache/repositories/PyPI/_http/a/b", 4 * MiB)
    h.junk("poetry", ".cache/pypoetry/artifacts/ab/cd/numpy.whl", 12 * MiB)
    h.personal("poetry", ".cache/pypoetry/virtualenvs/myapp-AbCd-py3.11/pyvenv.cfg", 1 * KiB)
    h.personal("poetry", ".cache/pypoetry/virtualenvs/myapp-AbCd-py3.11/lib/python3.11/site-packages/mine.py", 16 * KiB)
    h.junk("pip", ".cache/pip/http-v2/a/b/c/d/e/abcdef", 8 * MiB)
    h.junk("fontconfig", ".cache/fontconfig/abc-le64.cache-8", 256 * KiB)
    h.junk("mesa", ".cache/mesa_shader_cache/ab/cdef", 3 * MiB)

    # --- developer tools outside ~/.cache -----------------------------------------------------------
    gomod = "go/pkg/mod"
    h.junk("go", f"{gomod}/github.com/spf13/cobra@v1.8.0/command.go", 2 * MiB)
    h.junk("go", f"{gomod}/golang.org/x/sys@v0.20.0/unix/syscall.go", 4 * MiB)
    h.junk("go", f"{gomod}/cache/download/github.com/spf13/cobra/@v/v1.8.0.zip", 1 * MiB)
    for folder in [f"{gomod}/github.com/spf13/cobra@v1.8.0", f"{gomod}/golang.org/x/sys@v0.20.0/unix",
                   f"{gomod}/golang.org/x/sys@v0.20.0"]:
        os.chmod(os.path.join(root, folder), 0o555)  # as Go makes them
    for f in h.files:
        if "/go/pkg/mod/" in f["path"] and "@v" in f["path"] and "/cache/" not in f["path"]:
            os.chmod(f["path"], 0o444)
    h.personal("go", "go/src/example.com/mytool/main.go", 4 * KiB)
    h.personal("go", "go/bin/mytool", 64 * KiB)
    h.junk("maven", ".m2/repository/org/apache/commons/commons-lang3/3.14.0/commons-lang3-3.14.0.jar", 6 * MiB)
    h.junk("maven", ".m2/wrapper/dists/apache-maven-3.9.6-bin/abc/apache-maven-3.9.6/lib/maven-core.jar", 10 * MiB)
    h.personal("maven", ".m2/settings.xml", data=b"<settings><servers><server><password>s3cret</password></server></servers></settings>")
    h.junk("gradle", ".gradle/caches/modules-2/files-2.1/com.google.guava/guava/33.0/abc/guava-33.0.jar", 8 * MiB)
    h.junk("gradle", ".gradle/wrapper/dists/gradle-8.5-bin/abc/gradle-8.5/lib/gradle-core.jar", 12 * MiB)
    h.junk("gradle", ".gradle/daemon/8.5/daemon-12345.out.log", 4 * MiB)
    h.personal("gradle", ".gradle/daemon/8.5/registry.bin", 1 * KiB)
    h.personal("gradle", ".gradle/gradle.properties", data=b"signing.password=s3cret\n")
    h.personal("gradle", ".gradle/init.d/mirror.gradle", 1 * KiB)
    h.junk("conda", "miniconda3/pkgs/numpy-1.26.4-py311h.conda", 8 * MiB)
    h.junk("conda", "miniconda3/pkgs/python-3.11.8-h955ad1f.tar.bz2", 16 * MiB)
    h.junk("conda", "miniconda3/pkgs/cache/497deca9.json", 2 * MiB)
    h.personal("conda", "miniconda3/pkgs/numpy-1.26.4-py311h/lib/python3.11/site-packages/numpy/core.py", 32 * KiB)
    h.personal("conda", "miniconda3/envs/ds/lib/python3.11/site-packages/numpy/core.py", 32 * KiB)
    h.personal("conda", "miniconda3/pkgs/urls.txt", 1 * KiB)
    h.personal("conda", ".condarc", 1 * KiB)
    h.junk("conda", ".conda/pkgs/pandas-2.2.1-py311.conda", 12 * MiB)
    h.personal("conda", ".conda/environments.txt", 1 * KiB)
    store = h.junk("pnpm", ".local/share/pnpm/store/v3/files/00/abcdef0123", 2 * MiB)
    h.junk("pnpm", ".local/share/pnpm/store/v3/files/01/fedcba", 1 * MiB)
    h.personal("pnpm", "projects/web/package.json", 1 * KiB)
    h.personal("pnpm", "projects/web/src/index.ts", 4 * KiB)
    linked = os.path.join(root, "projects/web/node_modules/.pnpm/left-pad@1.3.0/node_modules/left-pad/index.js")
    os.makedirs(os.path.dirname(linked))
    os.link(store, linked)  # pnpm links a project's files to its store
    h.files.append({"path": linked, "kind": "personal", "app": "pnpm", "size": os.path.getsize(store)})
    h.junk("npm", ".npm/_cacache/content-v2/sha512/ab/cd/ef", 6 * MiB)
    h.junk("npm", ".npm/_cacache/index-v5/ab/cd", 64 * KiB)
    h.junk("npm", ".npm/_npx/1415fee72ff6294b/node_modules/cowsay/index.js", 1 * MiB)
    h.junk("npm", ".npm/_logs/2025-01-01T10_00_00_000Z-debug-0.log", 256 * KiB)
    h.personal("npm", ".npmrc", data=b"//registry.npmjs.org/:_authToken=npm_secret\n")
    h.junk("nvm", ".nvm/.cache/bin/node-v20.11.0-linux-x64/node-v20.11.0-linux-x64.tar.xz", 24 * MiB)
    h.personal("nvm", ".nvm/versions/node/v20.11.0/bin/node", 256 * KiB)
    h.personal("nvm", ".nvm/alias/default", data=b"20\n")
    h.junk("cargo", ".cargo/registry/cache/index.crates.io-6f17d22bba15001f/serde-1.0.197.crate", 1 * MiB)
    h.junk("cargo", ".cargo/registry/src/index.crates.io-6f17d22bba15001f/serde-1.0.197/src/lib.rs", 2 * MiB)
    h.junk("cargo", ".cargo/registry/index/index.crates.io-6f17d22bba15001f/.cache/se/rd/serde", 3 * MiB)
    h.junk("cargo", ".cargo/git/db/ripgrep-abc/objects/pack/pack-1.pack", 5 * MiB)
    h.junk("cargo", ".cargo/git/checkouts/ripgrep-abc/1234567/src/main.rs", 2 * MiB)
    h.personal("cargo", ".cargo/config.toml", 1 * KiB)
    h.personal("cargo", ".cargo/credentials.toml", data=b'[registry]\ntoken = "cio_secret"\n')
    h.personal("cargo", ".cargo/bin/rg", 128 * KiB)
    h.junk("rustup", ".rustup/downloads/abcdef0123456789", 20 * MiB)
    h.junk("rustup", ".rustup/tmp/xyz_file", 1 * MiB)
    h.personal("rustup", ".rustup/settings.toml", 1 * KiB)
    h.personal("rustup", ".rustup/toolchains/stable-x86_64-unknown-linux-gnu/bin/rustc", 256 * KiB)
    h.junk("nuget", ".nuget/packages/newtonsoft.json/13.0.3/newtonsoft.json.13.0.3.nupkg", 2 * MiB)
    h.junk("nuget", ".local/share/NuGet/v3-cache/abc$ps_api.nuget.org_v3_index.json/list_newtonsoft.json.dat", 512 * KiB)
    h.personal("nuget", ".nuget/NuGet/NuGet.Config", 1 * KiB)
    h.junk("yarn", ".yarn/berry/cache/lodash-npm-4.17.21-6382451519-eb835a2e51.zip", 1 * MiB)

    # --- projects with tagged caches beside their sources ---------------------------------------------
    h.tag("rust-project", "projects/tool/target", "personal")  # emptied, the tag stays
    h.junk("rust-project", "projects/tool/target/debug/tool", 30 * MiB)
    h.personal("rust-project", "projects/tool/src/main.rs", 4 * KiB)
    h.personal("rust-project", "projects/tool/Cargo.toml", 1 * KiB)
    h.tag("uv-project", "projects/app/.venv", "personal")  # uv tags every environment
    h.personal("uv-project", "projects/app/.venv/pyvenv.cfg", 1 * KiB)
    h.personal("uv-project", "projects/app/.venv/lib/python3.11/site-packages/app.py", 8 * KiB)
    h.personal("uv-project", "projects/app/pyproject.toml", 1 * KiB)

    manifest = {"home": root, "files": []}
    for f in h.files:
        entry = dict(f)
        if entry["kind"] == "personal":
            entry["sha256"] = sha256(entry["path"])
        manifest["files"].append(entry)
    with open(root.rstrip("/") + ".manifest.json", "w") as out:
        json.dump(manifest, out, indent=1)
    apps = sorted({f["app"] for f in h.files})
    junk = [f for f in h.files if f["kind"] == "junk"]
    personal = [f for f in h.files if f["kind"] == "personal"]
    print(f"{len(apps)} applications, {len(junk)} junk files ({sum(f['size'] for f in junk) / MiB:.1f} MiB), "
          f"{len(personal)} personal files ({sum(f['size'] for f in personal) / MiB:.1f} MiB)")


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def record_paths(document, home):
    """Every record path of modules 1 and 2 below the home, categories not for review only."""
    out = []

    def walk(records):
        for record in records:
            out.append(record["path"].rstrip("/"))
            walk(record.get("children", []))

    for module in document["modules"]:
        for category in module["categories"]:
            walk(category.get("files", []))
    prefix = home.rstrip("/") + "/"
    return sorted({p for p in out if p.startswith(prefix)})


def coverage(manifest, records, removed=None):
    """How much planted junk `records` cover (a path listed, or inside a listed folder), and which personal
    files lie inside them. A trash record goes with its trashed item. With `removed` (after a clean), a
    personal file counts as taken when it is gone or changed, a junk file as found when it is gone."""
    records_set = set(records)

    def inside(path):
        if "/Trash/info/" in path and path.endswith(".trashinfo"):
            path = path.replace("/Trash/info/", "/Trash/files/")[: -len(".trashinfo")]
        p = path
        while True:
            if p in records_set:
                return True
            parent = os.path.dirname(p)
            if parent == p:
                return False
            p = parent
    result = {"junk": 0, "junkFound": 0, "personal": 0, "personalTaken": 0, "missed": [], "taken": []}
    for f in manifest["files"]:
        hit = inside(f["path"]) if removed is None else removed(f)
        if f["kind"] == "junk":
            result["junk"] += f["size"]
            if hit:
                result["junkFound"] += f["size"]
            else:
                result["missed"].append(f)
        else:
            result["personal"] += f["size"]
            if hit:
                result["personalTaken"] += f["size"]
                result["taken"].append(f)
    return result


def report(label, result, seconds=None):
    pct = 100.0 * result["junkFound"] / result["junk"] if result["junk"] else 0.0
    line = (f"{label}: junk {result['junkFound'] / MiB:.1f} of {result['junk'] / MiB:.1f} MiB ({pct:.1f} %), "
            f"personal bytes {result['personalTaken']} of {result['personal']}")
    if seconds is not None:
        line += f", scan {seconds * 1000:.0f} ms (median)"
    print(line)
    for f in result["missed"]:
        print(f"  missed ({f['app']}): {f['path']}")
    for f in result["taken"]:
        print(f"  TAKEN ({f['app']}): {f['path']}")


CATALOGUE = []  # ["--catalogue", FILE] when one is given


def run_cli(cli, home, args):
    env = dict(os.environ, HOME=home)
    env.pop("XDG_CONFIG_HOME", None)
    env.pop("XDG_DATA_HOME", None)
    return subprocess.run([cli] + CATALOGUE + ["--home", home, "--json", "--no-progress"] + args, env=env,
                          capture_output=True, text=True)


def measure(home, cli, clean, rounds, strict):
    home = os.path.abspath(home)
    manifest = json.load(open(home.rstrip("/") + ".manifest.json"))
    times = []
    document = None
    for _ in range(rounds):
        start = time.perf_counter()
        done = run_cli(cli, home, ["scan", "1", "2", "--files"])
        times.append(time.perf_counter() - start)
        if done.returncode not in (0, 1):
            sys.exit(f"scan failed ({done.returncode}): {done.stderr}")
        document = json.loads(done.stdout)
    times.sort()
    listed = coverage(manifest, record_paths(document, home))
    pct = 100.0 * listed["junkFound"] / listed["junk"] if listed["junk"] else 0.0
    print(f"Spruce scan of modules 1 and 2: {listed['junkFound'] / MiB:.1f} of {listed['junk'] / MiB:.1f} MiB of "
          f"planted junk listed ({pct:.1f} %), in {times[len(times) // 2] * 1000:.0f} ms (median of {rounds})")
    for f in listed["missed"]:
        print(f"  missed ({f['app']}): {f['path']}")
    failed = strict and bool(listed["missed"])
    if clean:
        for module in ("1", "2"):
            done = run_cli(cli, home, ["clean", module, "--all", "--yes"])
            if done.returncode not in (0, 1):
                sys.exit(f"clean {module} failed ({done.returncode}): {done.stderr}")

        def gone_or_changed(f):
            if not os.path.lexists(f["path"]):
                return True
            return f["kind"] == "personal" and sha256(f["path"]) != f["sha256"]
        result = coverage(manifest, [], gone_or_changed)
        report("Spruce clean of everything listed (every category ticked)", result)
        # Junk left after the clean is told, not failed: a category whose program runs here is left alone.
        failed = failed or result["personalTaken"] > 0
    return 1 if failed else 0


SYSTEM_CLEANERS = {"system", "apt", "deepscan", "memory", "journald", "x11", "yum", "dnf", "localizations"}


def bleachbit_options():
    """BleachBit's options that do not warn, of the cleaners that work in the home: (all, cache-like only)."""
    import glob
    import xml.etree.ElementTree as ET
    every, caches = [], []
    for path in sorted(glob.glob("/usr/share/bleachbit/cleaners/*.xml")):
        root = ET.parse(path).getroot()
        cleaner = root.get("id")
        if cleaner in SYSTEM_CLEANERS:
            continue
        for option in root.findall("option"):
            if option.find("warning") is not None:
                continue
            name = f"{cleaner}.{option.get('id')}"
            every.append(name)
            if any(word in option.get("id") for word in ("cache", "log", "crash", "tmp", "temp", "thumbnail", "dump")):
                caches.append(name)
    return every, caches


def bleachbit(home):
    """BleachBit's preview (it deletes nothing) with HOME set to the fake home."""
    home = os.path.abspath(home)
    manifest = json.load(open(home.rstrip("/") + ".manifest.json"))
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_DATA_HOME=os.path.join(home, ".local/share"))
    every, caches = bleachbit_options()
    listed = set(subprocess.run(["bleachbit", "--list-cleaners"], env=env, capture_output=True, text=True).stdout.split())
    every = [o for o in every if o in listed]
    caches = [o for o in caches if o in listed]
    for label, options in (("every option without a warning", every), ("its cache, log and crash options", caches)):
        start = time.perf_counter()
        done = subprocess.run(["bleachbit", "--preview"] + options, env=env, capture_output=True, text=True)
        seconds = time.perf_counter() - start
        prefix = home + "/"
        paths = set()
        for line in done.stdout.splitlines():
            at = line.find(prefix)
            # "Delete SIZE PATH"; "Clean file" lines change a file in place (not counted).
            if at >= 0 and line.startswith("Delete "):
                paths.add(line[at:].rstrip("/"))
        if done.returncode != 0:
            print(f"  (bleachbit exited {done.returncode}: {done.stderr.strip().splitlines()[-1:]})")
        result = coverage(manifest, sorted(paths))
        report(f"BleachBit preview, {label} ({len(options)})", result, seconds)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    m = sub.add_parser("make")
    m.add_argument("dir")
    m.add_argument("--scale", type=float, default=1.0, help="multiplies the size of every junk file over 4 KiB")
    s = sub.add_parser("measure")
    s.add_argument("dir")
    s.add_argument("--cli", required=True)
    s.add_argument("--clean", action="store_true")
    s.add_argument("--strict", action="store_true")
    s.add_argument("--rounds", type=int, default=1)
    s.add_argument("--catalogue", help="the catalogue to scan with (default: the CLI's own)")
    b = sub.add_parser("bleachbit")
    b.add_argument("dir")
    args = parser.parse_args()
    if args.command == "make":
        if os.path.lexists(args.dir):
            sys.exit(f"{args.dir} exists; give a new folder")
        make(os.path.abspath(args.dir), args.scale)
        return 0
    if args.command == "measure":
        if args.catalogue:
            CATALOGUE.extend(["--catalogue", os.path.abspath(args.catalogue)])
        return measure(args.dir, args.cli, args.clean, args.rounds, args.strict)
    return bleachbit(args.dir)


if __name__ == "__main__":
    sys.exit(main())
