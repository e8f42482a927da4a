#include "acquisition/acquisition_run.h"

#include "acquisition/firmware.h"
#include "config/number_text.h"
#include "config/settings_file.h"
#include "config/station_paths.h"
#include "config/tables.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

namespace tw::acquisition {

namespace {

constexpr std::string_view crlf = "\r\n";


char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

bool is_orda(int ad_type) { return ad_type == config::orda10 || ad_type == config::orda20; }

config::BoardFamily family_of(int ad_type) {
    switch (ad_type) {
    case config::orda20: return config::orda20;
    case config::infiltec: return config::infiltec;
    case config::lx1500: return config::lx1500;
    default: return config::orda10;
    }
}

}  // namespace

std::string_view to_string(StartOutcome outcome) {
    switch (outcome) {
    case StartOutcome::running: return "running";
    case StartOutcome::refused: return "refused by a pre-start check";
    case StartOutcome::board_not_found: return "A/D card not found";
    case StartOutcome::stopped: return "stopped while preparing";
    case StartOutcome::already_running: return "already running";
    }
    return "unknown";
}

RateCommand build_rate_command(const config::Settings& settings, std::string_view board_reply) {
    RateCommand rate;
    const std::string_view head = board_reply.substr(0, 10);
    const bool base_100 = head == "ORDA V.1.6" || head == "ORDA V.1.8";
    double fastest = 0;
    for (std::size_t c = 0; c < 4; ++c) {
        const int code = settings.channels[c].sps_code;
        const bool listed = code >= 0 && code < static_cast<int>(config::sps_names.size());
        // The rate as its list entry reads: "OFF" 0, "1spm" 1, ".1" 0.1 ...
        double v = listed ? config::number_scan(config::sps_names[static_cast<std::size_t>(code)]) : 0.0;
        if (v > fastest) {
            fastest = v;
            rate.fastest_channel = static_cast<int>(c);
        }
        if (code == 1) v = 1.0 / 60;
        rate.true_rate[c] = v;
        if (v > 0 && v < 2) v = 2;
        int divisor = 0;
        if (v > 0) {
            if (base_100) {
                if (v == 200) v = 100;
                divisor = static_cast<int>(100 / v);
            } else {
                divisor = static_cast<int>(200 / v);
            }
        }
        rate.bytes += static_cast<char>(static_cast<std::uint8_t>(std::clamp(divisor, 0, 255)));
    }
    return rate;
}

void count_on_caption(std::string& caption) {
    long long count = 0;
    for (const char c : caption) {
        if (c < '0' || c > '9') break;
        count = count * 10 + (c - '0');
        if (count > 1'000'000'000LL) break;
    }
    caption = std::to_string(count + 1);
}

AcquisitionRun::AcquisitionRun(RunContext context) : context_(context) {}

void AcquisitionRun::report(int error_number, const std::string& detail) {
    context_.error_report.report(error_number, context_.flags.error_location, "START", detail);
}

// --- START ------------------------------------------------------------------

bool AcquisitionRun::prestart_checks() {
    auto& settings = context_.settings;
    auto& dialogs = context_.dialogs;
    context_.flags.error_location = step_checks;
    // The event file extensions are checked before (events::check_file_extensions).
    const std::string folder =
        config::events_folder_path(settings.general, context_.station_folder).string();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        const bool create = dialogs.ask_yes_no(
            "The event folder " + folder + " named on HW Setup doesn't exists!" + std::string(crlf) +
                "Do you want to create it?",
            "Warning!", true);
        if (create) {
            std::error_code create_error;
            if (folder.empty() || !std::filesystem::create_directories(folder, create_error) ||
                create_error) {
                if (!std::filesystem::is_directory(folder, ec)) {
                    const std::string reason =
                        folder.empty() ? std::string("no folder is named") : create_error.message();
                    dialogs.message_box("The event folder " + folder + " cannot be created: " +
                                            reason + std::string(crlf) +
                                            "The program will crash at first event recording.",
                                        "ERROR!", platform::DialogIcon::critical);
                }
            }
        } else {
            dialogs.message_box("The program will crash at first event recording.", "ERROR!",
                                platform::DialogIcon::critical);
        }
    }
    return true;
}

StartOutcome AcquisitionRun::start() {
    if (phase_ != RunPhase::idle) return StartOutcome::already_running;
    auto& flags = context_.flags;
    auto& panel = context_.panel;
    auto& general = context_.settings.general;

    phase_ = RunPhase::preparing;
    context_.link.clear_cancel();
    port_lost_ = false;
    flags.error_location = step_start;

    // Window state of a running acquisition.
    panel.start_enabled = false;
    panel.exit_enabled = false;
    panel.stop_enabled = true;
    panel.logging_enabled = false;
    panel.sps_select_enabled = false;
    general.auto_start = 1;
    flags.restart_request = true;
    flags.acquisition_running = 1;
    panel.notify();

    family_ = family_of(general.ad_type);
    flags.error_location = step_prepare;
    if (is_orda(family_)) {
        const StartOutcome prepared = prepare_orda();
        if (prepared == StartOutcome::board_not_found) {
            general.auto_start = 0;
            context_.serial.close();
            restore_buttons();
            flags.acquisition_running = 0;
            phase_ = RunPhase::idle;
            return prepared;
        }
        // The firmware table may have turned the board into an ORDA20.
        family_ = family_of(general.ad_type);
    } else {
        prepare_text_board(family_);
    }
    eighteen_bit_ = family_ == config::orda20;

    // Caption and the references of a new run.
    panel.title = "TERRAWAVE V.02.22 - " + board_reply_ + " - FDS:";
    if (general.service_mode == 1) flags.idle_pass_count = 0;
    context_.board_clock.start_run();
    assembler_.clear();
    text_input_ = TextBoardInput(family_);
    flags.last_sample_ms = context_.clock.monotonic_ms();
    panel.notify();

    phase_ = RunPhase::running;
    if (flags.acquisition_running != 1) {
        // STOP was pressed while the board was being prepared.
        stop_path();
        return StartOutcome::stopped;
    }
    service();  // the first pass starts the board
    return phase_ == RunPhase::running ? StartOutcome::running : StartOutcome::stopped;
}

StartOutcome AcquisitionRun::prepare_orda() {
    auto& general = context_.settings.general;
    auto& panel = context_.panel;
    auto& link = context_.link;
    auto& events = context_.event_list;
    auto& dialogs = context_.dialogs;

    panel.lbl_service = "TERRAWAVE start.";
    panel.lbl_service_visible = true;
    panel.notify();

    // The board's trimming and serial number; the stored serial changes only
    // on first use or when the user confirms a new board.
    const std::string registered = general.ad_serial;
    std::string registered_now = registered;
    std::string trimming;
    std::string board_serial;
    for (int attempt = 0; attempt < 4 && trimming.size() != 8 && !link.cancelled(); ++attempt) {
        panel.lbl_service += ".";
        panel.notify();
        trimming = link.read_board_eeprom(1, &board_serial);
    }

    if (!link.cancelled()) {
        const bool stored_valid = parse_hex_bytes(general.clock_trim, nullptr);
        if (trimming.size() != 8 || board_serial.size() != 8) {
            events.append("Board not correctly initialized, START continue...");
            dialogs.show_warning(platform::joined_lines({"A/D Board not correctly initialized.",
                                        "Check your system and retry.",
                                        "Datalogging START will be attempted."}),
                                 true);
        } else if (stored_valid && !equal_ignoring_case(general.clock_trim, trimming) &&
                   equal_ignoring_case(registered, board_serial)) {
            restore_trimming(trimming);
        } else if (!stored_valid || registered.size() != 8) {
            // First use of a board: its trimming and serial are registered.
            panel.lbl_service = "TERRAWAVE A/D check...";
            panel.notify();
            general.clock_trim = trimming;
            registered_now = board_serial;
            events.append("Startup INI inizialization. c/t:" + general.clock_trim +
                          " s/n:" + board_serial.substr(0, 4));
            dialogs.message_box("Remember to check the H/W Setup, " + std::string(crlf) +
                                    "then Apply and SAVE parameter.",
                                "TERRAWAVE", platform::DialogIcon::information);
        } else if (!equal_ignoring_case(registered, board_serial)) {
            const bool confirm = dialogs.ask_yes_no(
                "The connected a/d board is not registered as operative a/d board." +
                    std::string(crlf) + "Do you want to confirm it as operative a/d board?",
                "Serial number mismatch", false);
            if (confirm) {
                registered_now = board_serial;
                general.clock_trim = trimming;
                events.append("s/n:" + board_serial.substr(0, 4) + " is now operative");
                dialogs.message_box("Using H/W Setup adjust the clock calibration, " +
                                        std::string(crlf) + "then Apply and SAVE parameter.",
                                    "New a/d board", platform::DialogIcon::information);
            }
        }
    }
    general.ad_serial = registered_now;

    board_reply_ = link.open_board_port();
    if (link.cancelled()) return StartOutcome::stopped;
    events.append("START with ORDA10 " + board_reply_);
    context_.flags.error_location = step_open_port;
    if (board_reply_.empty()) {
        dialogs.show_warning(platform::joined_lines({"A/D card not found",
                                    "Check your cable and COM setting on com1 or com2",
                                    "If they seems to be correct try to check your BIOS settings.",
                                    "Default BIOS setting are:", "   COM1 ADDR:03F8  IRQ:4",
                                    "   COM2 ADDR:02F8  IRQ:3", "   COM3 ADDR:03E8  IRQ:4",
                                    "   COM4 ADDR:02E8  IRQ:3"}),
                             true);
        return StartOutcome::board_not_found;
    }

    const std::string dotted = dotted_version(board_reply_);
    const FirmwareCheck firmware =
        check_firmware(dotted, general.ad_type, general.no_version_warning);
    firmware_version_ = firmware.firmware_version;
    general.ad_type = firmware.ad_type;
    for (const auto& warning : firmware.warnings) dialogs.show_warning(warning.text, warning.modal);
    board_reply_ = "ORDA " + dotted;
    panel.lbl_service.clear();
    panel.lbl_service_visible = false;
    panel.notify();
    return StartOutcome::running;
}

void AcquisitionRun::restore_trimming(const std::string& board_trimming) {
    auto& general = context_.settings.general;
    auto& events = context_.event_list;
    auto& panel = context_.panel;
    events.append("Clock trimming found altered (" + board_trimming + ").");
    std::array<std::uint8_t, 4> b{};
    parse_hex_bytes(general.clock_trim, &b);
    auto write = [&] { return context_.link.write_clock_trim(b[0], b[1], b[2], b[3]); };
    if (write()) {
        events.append("Clock trimming corrected to: " + general.clock_trim);
        panel.lbl_service += "-";
    } else if (!context_.link.cancelled() && write()) {
        events.append("Clock trimming corrected to: " + general.clock_trim);
        panel.lbl_service += "+";
    } else {
        events.append("Problem with clock trimming correction. Check your system.");
        panel.lbl_service += "*";
    }
    panel.notify();
}

void AcquisitionRun::prepare_text_board(config::BoardFamily family) {
    auto& port = context_.serial;
    const bool infiltec = family == config::infiltec;
    const std::string_view line = infiltec ? line_infiltec : line_lx1500;
    board_reply_ = std::string(infiltec ? "Infiltec at " : "N.E. LX1500 at ") + std::string(line) + " ";
    firmware_version_.clear();
    context_.event_list.append("START with " + board_reply_);
    context_.flags.error_location = step_open_port;
    port.close();
    port.set_line_settings(line);
    port.flush_input();
    port.set_read_length(static_cast<int>(TextBoardInput::read_chunk));
    port.set_read_mode(platform::SerialPort::ReadMode::text);
    std::string error;
    if (!port.open(&error)) {
        // The tick keeps trying to open it.
        report(supervision::error_number::port_not_available, error);
        port_lost_ = true;
    }
}

// --- The loop -----------------------------------------------------------------

void AcquisitionRun::on_data_ready() {
    service();
}

void AcquisitionRun::tick() {
    if (phase_ != RunPhase::running || in_service_ || context_.link.busy()) return;
    auto& flags = context_.flags;
    if (port_lost_) {
        try_reopen();
    } else if (flags.acquisition_running == 1 && board_silent()) {
        flags.restart_request = true;
    }
    service();
}

bool AcquisitionRun::board_silent() const {
    return phase_ == RunPhase::running &&
           context_.clock.monotonic_ms() - context_.flags.last_sample_ms >= silence_ms;
}

void AcquisitionRun::service() {
    if (phase_ != RunPhase::running || in_service_ || context_.link.busy()) return;
    in_service_ = true;
    auto& flags = context_.flags;
    try {
        while (flags.acquisition_running == 1) {
            begin_pass();
            if (flags.acquisition_running != 1) break;
            if (!input_pass()) break;
        }
    } catch (const std::bad_alloc&) {
        report(7, {});
    } catch (const std::filesystem::filesystem_error& e) {
        report(supervision::error_number::path_file_access_error, e.what());
    } catch (const std::exception& e) {
        report(5, e.what());
    }
    in_service_ = false;
    if (flags.acquisition_running != 1) {
        stop_path();
        return;
    }
    refresh_panel(false);
}

void AcquisitionRun::begin_pass() {
    auto& flags = context_.flags;
    flags.loop_alive = 1;
    flags.error_location = step_pass;
    if (flags.restart_request) first_pass_block();
    if (hooks.track_boundary_check) hooks.track_boundary_check();
}

bool AcquisitionRun::input_pass() {
    if (port_lost_ || !context_.serial.is_open()) {
        context_.flags.idle_pass_count += 1;
        return false;
    }
    return is_orda(family_) ? orda_input() : text_input();
}

bool AcquisitionRun::orda_input() {
    auto& port = context_.serial;
    auto& flags = context_.flags;
    const int waiting = port.bytes_waiting();
    if (waiting < 4) {
        flags.idle_pass_count += 1;
        return false;
    }
    const std::string bytes =
        port.read_available(std::min<std::size_t>(static_cast<std::size_t>(waiting), read_chunk_bytes));
    if (bytes.empty()) {
        flags.idle_pass_count += 1;
        return false;
    }
    now_ms_ = context_.clock.monotonic_ms();
    discard_chunk_ = false;
    bool first = true;
    const std::span<const std::uint8_t> view(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size());
    assembler_.feed(view, [&](const Packet& packet) {
        if (discard_chunk_) return;
        // Each packet after the first is a pass of its own.
        if (!first) {
            begin_pass();
            if (discard_chunk_) return;
            if (flags.acquisition_running != 1) {
                discard_chunk_ = true;
                return;
            }
        }
        first = false;
        dispatch(packet);
    });
    if (discard_chunk_) assembler_.clear();
    return true;
}

bool AcquisitionRun::text_line_waiting() const {
    const std::string& text = text_input_.text_board_buffer();
    if (family_ == config::lx1500) return text.find_first_of("SA") != std::string::npos;
    return text.find('\r') != std::string::npos;
}

bool AcquisitionRun::text_input() {
    auto& port = context_.serial;
    auto& flags = context_.flags;
    const int waiting = port.bytes_waiting();
    // Lines already received are worked off even when little more waits:
    // a pass reads at most 8 characters and builds at most one sample, so
    // short lines would otherwise pile up in the text buffer.
    if (waiting < 4 && !text_line_waiting()) {
        flags.idle_pass_count += 1;
        return false;
    }
    bool read_something = false;
    const auto pc = context_.clock.now();
    const TextPass pass = text_input_.run_pass(
        pc.hour * 3600 + pc.minute * 60 + pc.second, static_cast<std::size_t>(std::max(waiting, 0)),
        [&](std::size_t max_chars) {
            std::string text = port.read_available(max_chars);
            read_something = read_something || !text.empty();
            return text;
        });
    now_ms_ = context_.clock.monotonic_ms();
    switch (pass.outcome) {
    case TextPassOutcome::bad_line:
        count_on_caption(context_.panel.badrx);
        [[fallthrough]];
    case TextPassOutcome::time_packet:
    case TextPassOutcome::sample_packet:
        if (pass.previous_second_samples)
            context_.panel.true_sps = config::plain_number(*pass.previous_second_samples);
        dispatch(Packet{pass.packet(), false});
        return true;
    case TextPassOutcome::nothing:
    case TextPassOutcome::bad_clock:
        break;
    }
    // Nothing built: go on only while the port still gives characters.
    if (!read_something) flags.idle_pass_count += 1;
    return read_something;
}

void AcquisitionRun::dispatch(const Packet& packet) {
    auto& flags = context_.flags;
    flags.error_location = step_dispatch;
    const DecodedPacket decoded = decode_packet(packet, eighteen_bit_);
    switch (decoded.type) {
    case PacketType::time:
        context_.board_clock.handle_time_packet(packet.bytes);
        break;
    case PacketType::sample:
        // A sample packet of the wrong length (a byte lost or one too many)
        // still stands for one sample: a zero with the flags of its last byte
        // takes its place, so that every later sample of the channel keeps
        // its place in the second and in the track. Only a run of garbage
        // longer than any packet stands for nothing.
        if (decoded.status != DecodeStatus::ok) count_on_caption(context_.panel.badrx);
        if (decoded.status == DecodeStatus::ok || decoded.status == DecodeStatus::bad_length) {
            flags.last_sample_ms = now_ms_;
            context_.sample_path.take_sample(decoded.sample.channel, decoded.sample.value);
        }
        break;
    case PacketType::eeprom:
        if (decoded.status == DecodeStatus::ok) {
            if (hooks.eeprom_reply) hooks.eeprom_reply(decoded.eeprom.value);
        } else {
            count_on_caption(context_.panel.badrx);
        }
        break;
    case PacketType::unknown:
        count_on_caption(context_.panel.badrx);
        break;
    }
    panel_dirty_ = true;
}

void AcquisitionRun::first_pass_block() {
    auto& flags = context_.flags;
    auto& settings = context_.settings;
    auto& events = context_.event_list;
    auto& port = context_.serial;
    flags.error_location = step_first_pass;
    const bool silent = board_silent();

    if (is_orda(family_)) limit_rates_to_board();
    if (hooks.reset_channels) hooks.reset_channels();
    std::array<double, 4> rates{};
    for (std::size_t c = 0; c < 4; ++c) rates[c] = config::sps_value(settings.channels[c].sps_code);

    if (is_orda(family_)) {
        if (silent) events.append("Warning! A/D card restarted.");
        rate_ = build_rate_command(settings, board_reply_);
        context_.sample_path.start_run(family_, rate_.true_rate, rates);
        if (!context_.link.send_command(board_command::start(rate_.bytes)) && port.is_open())
            report(supervision::error_number::device_io_error,
                   "the start command was not sent to " + port.device_name());
        port.flush_input();
    } else {
        rate_ = RateCommand{};
        context_.sample_path.start_run(family_, rate_.true_rate, rates);
        if (family_ == config::lx1500) context_.link.send_lx1500_start_sequence();
        if (silent) events.append("Warning! Acquisition restarted.");
    }

    flags.restart_request = false;
    flags.last_sample_ms = context_.clock.monotonic_ms();
    context_.panel.badrx = "0";
    // What was read before the restart belongs to the old stream.
    assembler_.clear();
    discard_chunk_ = true;
    refresh_panel(true);
}

void AcquisitionRun::limit_rates_to_board() {
    // Boards whose divisors count from 100 cannot run a channel at 200: the
    // divisor 1 gives 100. Such a channel runs, and is computed, logged and
    // filed, at the rate the board delivers.
    const std::string_view head = std::string_view(board_reply_).substr(0, 10);
    if (head != "ORDA V.1.6" && head != "ORDA V.1.8") return;
    for (int k = 1; k <= 4; ++k) {
        config::ChannelSettings& channel = context_.settings.channel(k);
        if (channel.sps_code != config::sps_code_200) continue;
        channel.sps_code = config::sps_code_100;
        config::recompute_event_lengths(channel);
        context_.event_list.append("channel " + std::to_string(k) +
                                   ": this board runs at most 100 samples per second");
    }
}

// --- STOP -----------------------------------------------------------------------

void AcquisitionRun::stop() {
    if (phase_ == RunPhase::idle) return;
    auto& flags = context_.flags;
    flags.acquisition_running = 0;
    context_.settings.general.auto_start = 0;
    context_.serial.flush_input();
    if (is_orda(family_)) {
        context_.link.send_command(board_command::stop());
    } else if (family_ == config::lx1500) {
        context_.link.send_command(board_command::lx_standby);
    }
    // A preparation or a start sequence in progress gives up at once; the
    // STOP path runs when it has returned.
    if (phase_ == RunPhase::preparing || context_.link.busy()) {
        context_.link.cancel();
        return;
    }
    if (in_service_) return;  // the pass in progress ends the run
    stop_path();
}

void AcquisitionRun::stop_path() {
    if (phase_ == RunPhase::idle) return;
    auto& flags = context_.flags;
    flags.error_location = step_stop_path;
    context_.settings.general.auto_start = 0;
    if (hooks.end_events) hooks.end_events();
    context_.board_clock.stop_run();
    context_.event_list.append("STOP");
    if (hooks.close_tracks) hooks.close_tracks();
    if (hooks.save_drums) hooks.save_drums();
    context_.serial.close();
    context_.sample_path.clear_second_start_seen();
    context_.panel.utc_clock.clear();
    if (hooks.run_stopped) hooks.run_stopped();
    restore_buttons();
    flags.acquisition_running = 0;
    flags.restart_request = false;
    port_lost_ = false;
    phase_ = RunPhase::idle;
}

void AcquisitionRun::restore_buttons() {
    auto& panel = context_.panel;
    const auto& general = context_.settings.general;
    panel.start_enabled = true;
    panel.exit_enabled = true;
    panel.stop_enabled = false;
    if (general.settings_locked == 1) {
        panel.logging_enabled = false;
        panel.sps_select_enabled = false;
    } else {
        panel.logging_enabled = true;
        panel.sps_select_enabled = is_orda(general.ad_type);
    }
    refresh_panel(true);
}

// --- A lost port ------------------------------------------------------------------

void AcquisitionRun::on_port_failure(const std::string& message) {
    if (phase_ == RunPhase::idle) return;
    std::string line = message;
    if (!line.empty() && line[0] >= 'a' && line[0] <= 'z') line[0] = static_cast<char>(line[0] - 'a' + 'A');
    context_.event_list.append(line);
    if (phase_ == RunPhase::running) port_lost_ = true;
}

void AcquisitionRun::try_reopen() {
    auto& port = context_.serial;
    context_.flags.error_location = step_reopen;
    if (!port.is_open()) {
        std::string error;  // quietly: the device is tried again every second
        if (!port.open(&error)) return;
    }
    port_lost_ = false;
    port.flush_input();
    context_.event_list.append("Serial port " + port.device_name() + " reopened.");
    context_.flags.restart_request = true;
}

void AcquisitionRun::refresh_panel(bool force) {
    const std::int64_t now = context_.clock.monotonic_ms();
    if (!force && !panel_dirty_) return;
    if (!force && now - last_panel_refresh_ms_ < panel_refresh_ms) return;
    panel_dirty_ = false;
    last_panel_refresh_ms_ = now;
    context_.panel.notify();
}

}  // namespace tw::acquisition
